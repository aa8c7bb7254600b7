#!/bin/sh
# Start-up time of Kelvora to its first window, warm and cold, against a minimal Qt
# program, under Xvfb (needs xvfb: scripts/setup.sh --test).
#   bench/startup.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target bench_startup
LANG=C.UTF-8 xvfb-run -a -s "-screen 0 1024x768x24" \
    ./build/bench/bench_startup build/app/kelvora build/bench/bench_startup_baseline "${1:-9}"
