#!/bin/sh
# `cmake --install` puts the programs, the menu entry and the icons in their freedesktop
# places, and the menu entry is valid.   install.sh BUILD_DIR
set -eu
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
for f in bin/kelvora bin/kelvora-album share/applications/kelvora.desktop \
    share/icons/hicolor/scalable/apps/kelvora.svg share/icons/hicolor/16x16/apps/kelvora.png \
    share/icons/hicolor/48x48/apps/kelvora.png share/icons/hicolor/256x256/apps/kelvora.png \
    share/kelvora/help/index.html; do
    [ -s "$prefix/$f" ] || { echo "not installed: $f" >&2; exit 1; }
done
[ -x "$prefix/bin/kelvora" ] || { echo "kelvora is not executable" >&2; exit 1; }
desktop-file-validate "$prefix/share/applications/kelvora.desktop"
grep -qx 'Exec=kelvora %F' "$prefix/share/applications/kelvora.desktop"
grep -qx 'Icon=kelvora' "$prefix/share/applications/kelvora.desktop"
grep -q '^Name\[ja\]=' "$prefix/share/applications/kelvora.desktop"
grep -q '^Comment\[ja\]=' "$prefix/share/applications/kelvora.desktop"
echo "installed and valid"
