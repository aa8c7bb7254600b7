#!/bin/sh
# Builds the fuzz targets with clang and runs each for a bounded time.
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]   (default 600, every target)
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-600}
[ $# -gt 0 ] && shift
spi="fuzz_spi_png fuzz_spi_gif fuzz_spi_tiff fuzz_spi_webp fuzz_spi_heif fuzz_spi_avif"
targets=${*:-"fuzz_jpeg fuzz_ini fuzz_bmp fuzz_thumbnail $spi"}
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DKELVORA_FUZZ=ON -DKELVORA_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target $targets
export QT_QPA_PLATFORM=offscreen

# Seeds of the plug-in formats, made by Debian's tools (imagemagick, libheif-examples,
# libavif-bin) into the build folder.
seed_spi() {
    dir="$build/seeds/$1"
    [ -d "$dir" ] && return 0
    mkdir -p "$dir"
    src="$build/seeds/source.png"
    [ -f "$src" ] || convert -size 48x32 plasma:fractal -seed 1 "$src"
    case "$1" in
    fuzz_spi_png) convert "$src" "$dir/rgb.png"; convert "$src" PNG8:"$dir/palette.png"
        convert "$src" -alpha set -channel A -evaluate set 50% PNG32:"$dir/alpha.png"
        convert "$src" -interlace PNG "$dir/interlaced.png" ;;
    fuzz_spi_gif) convert "$src" "$dir/still.gif"; convert "$src" -interlace GIF "$dir/interlaced.gif" ;;
    fuzz_spi_tiff) convert "$src" -compress lzw "$dir/lzw.tif"; convert "$src" -compress zip "$dir/zip.tif"
        convert "$src" -alpha set "$dir/alpha.tif" ;;
    fuzz_spi_webp) convert "$src" -define webp:lossless=true "$dir/lossless.webp"
        convert "$src" -quality 50 "$dir/lossy.webp" ;;
    fuzz_spi_heif) heif-enc -q 50 -o "$dir/still.heic" "$src" >/dev/null
        heif-enc -q 50 -t 16 -o "$dir/thumbnail.heic" "$src" >/dev/null ;;
    fuzz_spi_avif) avifenc "$src" "$dir/still.avif" >/dev/null ;;
    esac
}

status=0
for target in $targets; do
    corpus="fuzz/corpus-$target"
    mkdir -p "$corpus"
    seeds="fuzz/seeds/$target"
    case "$target" in fuzz_spi_*) seed_spi "$target"; seeds="$build/seeds/$target" ;; esac
    echo "== $target for ${seconds}s"
    "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=4096 -max_len=65536 \
        -timeout=30 -print_final_stats=1 -artifact_prefix="$build/" "$corpus" $( [ -d "$seeds" ] && echo "$seeds" ) || status=1
done
exit $status
