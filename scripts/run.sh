#!/usr/bin/env bash
# The main job. Installs what is missing, builds both programs and makes a
# damaged example database (example-data/shop-damaged.db), then:
#   scripts/run.sh             starts the desktop program (open the example
#                              with Open); without a display it does what
#                              --headless does
#   scripts/run.sh --headless  lists what korvel-recover finds in the example,
#                              recovers it and shows what came back
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target korvel-recover korvel-lumquist

examples/make-damaged-example.sh example-data
damaged=example-data/shop-damaged.db
recover=$build/cli/korvel-recover

headless() {
  echo
  echo "== What korvel-recover finds in $damaged:"
  "$recover" --list "$damaged"
  echo
  echo "== Recovering it:"
  "$recover" --yes "$damaged"
  repaired=example-data/Repaired_shop-damaged.db
  echo
  echo "== What came back in $repaired:"
  for table in $(sqlite3 "$repaired" "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"); do
    echo "$table: $(sqlite3 "$repaired" "SELECT count(*) FROM \"$table\"") rows"
    sqlite3 -header -column "$repaired" "SELECT * FROM \"$table\" LIMIT 3"
    echo
  done
  sqlite3 "$repaired" "SELECT type, name FROM sqlite_master WHERE type<>'table' ORDER BY type, name"
}

if [ "${1:-}" = "--headless" ] || [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  [ "${1:-}" = "--headless" ] || echo "No display: running the headless recovery instead."
  headless
else
  echo "Starting Korvel Lumquist; choose Open and pick $PWD/$damaged"
  exec "$build/app/korvel-lumquist"
fi
