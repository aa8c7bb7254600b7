#!/bin/sh
# Builds the benchmark corpus (once) and runs the benchmarks.
#   bench/run.sh [CORPUS_DIR]   (default /tmp/kelvora-corpus)
# KELVORA_CORPUS_SCRIPT names the corpus script when it is not in ../shared/bench.
set -eu
cd "$(dirname "$0")/.."
corpus=${1:-/tmp/kelvora-corpus}
bash "${KELVORA_CORPUS_SCRIPT:-../shared/bench/make-corpus.sh}" "$corpus"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target bench_convert bench_listing bench_list_view bench_copy bench_spi \
    bench_preview bench_rerun bench_hung_drive bench_gui_stall bench_side_files bench_plugin_memory bench_thumbnails \
    bench_smooth \
    kelvora-album
./build/bench/bench_convert "$corpus"
./build/bench/bench_smooth "$corpus"
./build/bench/bench_rerun "$corpus"
./build/bench/bench_listing "$corpus/listing"
./build/bench/bench_list_view "$corpus/listing"
./build/bench/bench_copy
./build/bench/bench_hung_drive
./build/bench/bench_gui_stall "$corpus/listing"
./build/bench/bench_side_files
./build/bench/bench_spi "$corpus"
./build/bench/bench_plugin_memory "$corpus"
QT_QPA_PLATFORM=offscreen ./build/bench/bench_preview
./build/bench/bench_thumbnails "$corpus/photos"
cmake --build build --target bench_order
./build/bench/bench_order "$corpus"
