#!/bin/sh
# Takes the screenshots of the program's windows and dialogs in docs/screenshots/,
# under Xvfb and in a locale without Japanese (C.UTF-8): the dialogs are Japanese anyway.
# Needs xvfb and imagemagick (scripts/setup.sh --test).
set -eu
cd "$(dirname "$0")/.."
build=${BUILD:-build}
cmake --build "$build" --target kelvora-demo-window
out=docs/screenshots
pictures=/tmp/kelvora-demo-pictures
mkdir -p "$out" "$pictures"
convert -size 640x427 gradient:'#87ceeb-#1e3a5f' "$pictures/harbour.jpg"
convert -size 640x427 plasma:'#6b8e23-#f5deb3' -seed 7 "$pictures/mountain-path.jpg"
convert -size 427x640 gradient:'#ffa07a-#4b0082' "$pictures/sunset.jpg"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
for scenario in splash options options-cancel about save-overwrite color comment-editor; do
    xvfb-run -a -s "-screen 0 1024x768x24" sh -c "
        ./$build/tools/kelvora-demo-window $scenario $pictures/harbour.jpg \
            $pictures/mountain-path.jpg $pictures/sunset.jpg &
        sleep 3
        import -window root -trim +repage $out/$scenario.png
        wait" 2>/dev/null
    echo "$out/$scenario.png"
done
rm -rf "$pictures"
