#!/usr/bin/env bash
# Builds the desktop player (GTK 3, Release) into build-run/ and starts it on the bundled sample
# animations, or on VELISSADESK_PATH when that is set. Without a display it says so and exits with 1
# before building.
set -euo pipefail
cd "$(dirname "$0")/.."

no_display() {
  echo "run.sh: $1: VelissaDesk needs a desktop with a display (Wayland, or X11 / XWayland)." >&2
  exit 1
}
# On Wayland the program itself decides (layer-shell, else XWayland through DISPLAY) and says why not.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  no_display "no display (DISPLAY and WAYLAND_DISPLAY are not set)"
fi
bash scripts/deps.sh build desktop
if [ -z "${WAYLAND_DISPLAY:-}" ]; then
  xdpyinfo >/dev/null 2>&1 || no_display "the X server of DISPLAY=$DISPLAY cannot be reached"
fi

build=build-run
echo "run.sh: building the player into $build/" >&2
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELISSA_PLATFORM=gtk -DVELISSA_SANITIZE=OFF \
  -DVELISSA_BUILD_TESTS=OFF -DVELISSA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
export VELISSADESK_PATH=${VELISSADESK_PATH:-$PWD/$build/samples}
echo "run.sh: playing the animations in $VELISSADESK_PATH/anim (right-click the character for the menu)" >&2
exec "$build/app/velissadesk"
