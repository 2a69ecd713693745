#!/usr/bin/env bash
# Cross-builds the 32-bit Windows program and its tests with mingw-w64 into build-win32/, then runs the
# tests and the smoke test of the program under 32-bit Wine.
# Usage: scripts/windows.sh [--build-only | --zip]
#   --build-only  build, run nothing
#   --zip         build, then pack dist/VelissaDesk-<version>-win32.zip (scripts/package-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VELISSA_WINDOWS_BUILD:-build-win32}
mode=${1:-}

# The sample animations are the same files on every system and are drawn with the build machine's
# cairo: they come from the Linux test build when it has them, else from a plain host build of them.
samples=${VELISSA_SAMPLES:-}
if [ -z "$samples" ]; then
  if compgen -G "build-test/samples/anim/*.dat" >/dev/null && [ -f build-test/samples/samples.kar ]; then
    samples=build-test/samples
  else
    bash scripts/deps.sh build
    cmake -S . -B build-samples -DCMAKE_BUILD_TYPE=Release -DVELISSA_BUILD_TESTS=OFF >/dev/null
    cmake --build build-samples -j "$(nproc)" --target velissa_samples
    samples=build-samples/samples
  fi
fi
samples=$(cd "$samples" && pwd)

bash scripts/deps.sh windows
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELISSA_PLATFORM=win32 -DVELISSA_BUILD_TESTS=ON \
  -DVELISSA_SAMPLES_DIR="$samples" --no-warn-unused-cli >/dev/null
cmake --build "$build" -j "$(nproc)"
[ "$mode" = "--build-only" ] && exit 0
if [ "$mode" = "--zip" ]; then
  exec bash scripts/package-windows.sh "$build" "$samples"
fi

bash scripts/deps.sh wine e2e
# The prefix the build's test emulator (cmake/wine-run.sh) uses: made once, kept with the build.
export WINEPREFIX WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(cmake -L -N "$build" | sed -n 's/^VELISSA_WINE_PREFIX:PATH=//p')
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  # No display in the unit tests: Wine's null graphics driver still makes windows, menus and GDI objects.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  # A crashing test prints its backtrace and ends instead of waiting in the debugger's dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
fi
# One server and one set of Wine's services for all the tests, started here so that they do not hold a
# test's output open, and ended with them.
wineserver -p 2>/dev/null || true
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot </dev/null >/dev/null 2>&1
# A test that hangs in Wine fails after ten minutes instead of holding CI.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
