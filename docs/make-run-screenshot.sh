#!/bin/sh
# Takes docs/generation-window-running.png: the generation window during a run over
# 60 large pictures it makes, under Xvfb. Needs xvfb and imagemagick
# (scripts/setup.sh --test).   docs/make-run-screenshot.sh
set -eu
cd "$(dirname "$0")/.."
build=${BUILD:-build}
cmake --build "$build" --target kelvora-demo-generation
out=/tmp/kelvora-demo-run
rm -rf "$out"; mkdir -p "$out/travel" "$out/photos"
convert -size 4000x3000 plasma:fractal -quality 90 "$out/photos/seed.jpg"
for i in $(seq -w 1 60); do cp "$out/photos/seed.jpg" "$out/photos/IMG_00$i.jpg"; done
rm "$out/photos/seed.jpg"
xvfb-run -a -s "-screen 0 720x560x24" sh -c "
    ./$build/tools/kelvora-demo-generation --running '$out/travel/index.html' $out/photos/*.jpg &
    sleep 3
    import -window root -crop 688x508+0+0 +repage docs/generation-window-running.png
    wait"
rm -rf "$out"
echo docs/generation-window-running.png
