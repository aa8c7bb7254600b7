#!/bin/sh
# Builds the fuzz targets with clang and runs each for a bounded time.
#   fuzz/run.sh [SECONDS_PER_TARGET]   (default 600)
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-600}
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DKELVORA_FUZZ=ON -DKELVORA_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_jpeg fuzz_ini fuzz_bmp
export QT_QPA_PLATFORM=offscreen
status=0
for target in fuzz_jpeg fuzz_ini fuzz_bmp; do
    corpus="fuzz/corpus-$target"
    mkdir -p "$corpus"
    seeds="fuzz/seeds/$target"
    echo "== $target for ${seconds}s"
    "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=4096 -max_len=65536 \
        -print_final_stats=1 "$corpus" $( [ -d "$seeds" ] && echo "$seeds" ) || status=1
done
exit $status
