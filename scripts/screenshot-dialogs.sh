#!/usr/bin/env bash
# Screenshots of the splash window, the About dialog and the Column Mapping
# dialog on a virtual X display:
#   docs/screenshot-splash.png, docs/screenshot-about.png, docs/screenshot-mapping.png
# Usage: scripts/screenshot-dialogs.sh [build folder, default: build]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DKORVEL_BUILD_BENCH=OFF
fi
ninja -C "$build" -j2 dialog_screenshots
mkdir -p "$root/docs"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
  "$build/tests/app/dialog_screenshots" "$root/docs"
