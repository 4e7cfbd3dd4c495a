#!/usr/bin/env bash
# Builds the screenshot tool and takes the picture of the main window after
# opening an example database and previewing a table, under Xvfb:
# docs/screenshot-main.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/screenshot}
cmake -S . -B "$build" -G Ninja -DKORVEL_BUILD_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target korvel-lumquist-screenshot -j "${JOBS:-2}"
mkdir -p docs
xvfb-run -a -s "-screen 0 1280x800x24" "$build/app/korvel-lumquist-screenshot" docs/screenshot-main.png
