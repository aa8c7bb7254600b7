#!/bin/sh
# Takes docs/browser-{icon,small,list,report}.png: the folder tree linked to the
# file list in each of the four view styles, over a made-up home folder, under
# Xvfb. Needs xvfb and imagemagick (scripts/setup.sh --test).
#   docs/make-browser-screenshots.sh
set -eu
cd "$(dirname "$0")/.."
build=${BUILD:-build}
cmake --build "$build" --target kelvora-demo-browser
home=/tmp/kelvora-demo-home
rm -rf "$home"
mkdir -p "$home/デスクトップ" "$home/ドキュメント" "$home/音楽" "$home/.config" \
    "$home/写真/2023 夏" "$home/写真/2024 旅行/京都" "$home/写真/2024 旅行/奈良"
printf 'XDG_DESKTOP_DIR="$HOME/デスクトップ"\nXDG_PICTURES_DIR="$HOME/写真"\n' \
    >"$home/.config/user-dirs.dirs"
album="$home/写真/2024 旅行"
i=1
for colour in skyblue-navy orange-brown seagreen-olive plum-purple gold-sienna tomato-maroon \
    steelblue-white khaki-darkgreen; do
    # Clouds of two colours, a picture for each thumbnail
    convert -seed $i -size 640x480 "plasma:$colour" -blur 0x2 "$album/IMG_000$i.jpg"
    i=$((i + 1))
done
convert -size 320x240 xc:white "$album/地図.png"
printf '京都と奈良の旅行\r\n' >"$album/メモ.txt"
ln -sf IMG_0001.jpg "$album/表紙.jpg"
touch -d '2024-05-03 10:15' "$album"/*
for view in icon small list report; do
    HOME="$home" XDG_CONFIG_HOME="$home/.config" xvfb-run -a -s "-screen 0 800x480x24" sh -c "
        ./$build/tools/kelvora-demo-browser --view $view --folder '$album' --select 3 \
            --quit-after 6000 &
        sleep 4
        import -window root docs/browser-$view.png
        wait"
    echo "docs/browser-$view.png"
done
rm -rf "$home"
