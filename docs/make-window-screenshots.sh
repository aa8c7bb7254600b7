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
# The main window browses a made-up home folder with an album's pictures in it.
home=/tmp/kelvora-demo-home
rm -rf "$home"
album="$home/写真/2024 旅行"
mkdir -p "$home/デスクトップ" "$home/ドキュメント" "$home/.config" "$album/メモ"
printf 'XDG_DESKTOP_DIR="$HOME/デスクトップ"\nXDG_PICTURES_DIR="$HOME/写真"\n' \
    >"$home/.config/user-dirs.dirs"
cp "$pictures/harbour.jpg" "$album/港.jpg"
cp "$pictures/mountain-path.jpg" "$album/山道.jpg"
cp "$pictures/sunset.jpg" "$album/夕焼け.jpg"
convert -size 640x427 plasma:'#4682b4-#f0f8ff' -seed 3 "$album/海.jpg"
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home-cache" xvfb-run -a -s "-screen 0 1024x768x24" sh -c "
    ./$build/tools/kelvora-demo-window main '$album/港.jpg' '$album/山道.jpg' \
        '$album/夕焼け.jpg' &
    sleep 4
    import -window root -trim +repage $out/main.png
    wait" 2>/dev/null
echo "$out/main.png"
rm -rf "$pictures" "$home" "$home-cache"
