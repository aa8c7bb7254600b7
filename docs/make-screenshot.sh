#!/bin/sh
# Takes docs/generation-window.png: the generation window after a run over a few
# photographs, under Xvfb. Needs xvfb and imagemagick (scripts/setup.sh --test).
#   docs/make-screenshot.sh PHOTO...
set -eu
cd "$(dirname "$0")/.."
build=${BUILD:-build}
cmake --build "$build" --target kelvora-demo-generation
out=/tmp/kelvora-demo
rm -rf "$out"; mkdir -p "$out/travel"
xvfb-run -a -s "-screen 0 720x560x24" sh -c "
    ./$build/tools/kelvora-demo-generation '$out/travel/index.html' $* &
    sleep 6
    import -window root -crop 688x508+0+0 +repage docs/generation-window.png
    wait"
rm -rf "$out"
echo docs/generation-window.png
