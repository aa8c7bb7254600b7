#!/bin/sh
# Builds the Debian package of Kelvora in dist/ (a Release build in build-deb, installed
# under /usr). Install it with: apt install ./dist/kelvora_*.deb
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DKELVORA_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
cmake --build build-deb --target kelvora kelvora-album -j "$(nproc)"
(cd build-deb && cpack -B ../dist)
ls dist/*.deb
