#!/usr/bin/env bash
# Builds the Debian package of the Linux desktop program into dist/ and checks it with lintian.
# Usage: scripts/deb.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build desktop deb
build=build-deb
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELISSA_PLATFORM=gtk -DVELISSA_SANITIZE=OFF \
  -DVELISSA_BUILD_TESTS=OFF -DVELISSA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
mkdir -p dist
(cd "$build" && cpack -G DEB -B "$PWD/../dist" >/dev/null)
rm -rf dist/_CPack_Packages
package=$(ls -t dist/velissadesk_*.deb | head -n 1)
echo "deb.sh: $package"
dpkg-deb -f "$package" Package Version Architecture Depends
# Errors fail the build; warnings and notes are shown for whoever packages.
lintian --fail-on error --suppress-tags-from-file /dev/null "$package"
