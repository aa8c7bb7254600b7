#!/bin/sh
# Takes docs/plugin-list.png: the plug-in list window with the shipped plug-ins
# loaded, under Xvfb. Needs xvfb and imagemagick (scripts/setup.sh --test).
set -eu
cd "$(dirname "$0")/.."
build=${BUILD:-build}
cmake --build "$build" --target kelvora-demo-plugins
xvfb-run -a -s "-screen 0 800x560x24" sh -c "
    ./$build/tools/kelvora-demo-plugins &
    sleep 4
    import -window root -crop 696x480+0+0 +repage docs/plugin-list.png
    kill \$!"
echo docs/plugin-list.png
