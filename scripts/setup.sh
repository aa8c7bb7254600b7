#!/bin/sh
# Installs the Debian packages that building, running and testing Kelvora need.
# Safe to run again: only missing packages are fetched.
set -eu

PACKAGES="
build-essential cmake ninja-build pkg-config
qt6-base-dev qt6-base-dev-tools qt6-svg-dev
libjpeg62-turbo-dev libpng-dev libexif-dev
libgif-dev libtiff-dev libwebp-dev libheif-dev libavif-dev
libswscale-dev
libgtest-dev libgmock-dev libbenchmark-dev
fonts-ipafont-gothic fontconfig
libwmf-bin emf2svg fonts-urw-base35
libjpeg-turbo-progs
xdg-utils
qt6-translations-l10n libxcb1-dev file
"
# Test-only extras: a real browser for the page check, an X server for screenshots.
if [ "${1:-}" = "--test" ]; then
    PACKAGES="$PACKAGES chromium xvfb imagemagick clang libclang-rt-14-dev desktop-file-utils time"
    # pictures in the plug-in formats for the tests and benchmarks
    PACKAGES="$PACKAGES libheif-examples libavif-bin"
    # the thumbnail benchmark's baseline
    PACKAGES="$PACKAGES libvips-tools"
fi

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
    SUDO=""
    [ "$(id -u)" = 0 ] || SUDO=sudo
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
