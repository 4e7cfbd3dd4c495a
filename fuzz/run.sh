#!/usr/bin/env bash
# Builds the fuzz target with clang and runs it for the given number of
# seconds (default 120) on a seed corpus of healthy and damaged databases.
# Every crash, leak, hang or out-of-memory input is left in fuzz/findings/;
# copy it to tests/fuzz_regressions/ once it is fixed.
#   fuzz/run.sh [SECONDS] [extra libFuzzer flags...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
shift || true
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVEL_FUZZ=ON -DKORVEL_BUILD_APP=OFF -DKORVEL_BUILD_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target korvel_fuzz -j "$(nproc)"
corpus=$build/corpus
mkdir -p "$corpus" fuzz/findings
python3 fuzz/make_seeds.py "$build/seeds"
# The repaired databases are written to memory when the machine allows it.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
"$build/fuzz/korvel_fuzz" "$corpus" "$build/seeds" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
  -artifact_prefix=fuzz/findings/ -print_final_stats=1 "$@"
