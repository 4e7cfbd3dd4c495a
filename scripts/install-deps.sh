#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need.
# Installs nothing when everything is already there.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libsqlite3-dev sqlite3
          libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev libgl-dev
          xvfb xauth clang libclang-rt-dev python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=
  [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
