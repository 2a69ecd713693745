#!/usr/bin/env bash
# Cross-builds the Windows program, its tools and tests with mingw-w64, then runs the tests and the smoke
# test of the program under Wine of the same width. Which build runs depends on this machine:
#   - it runs 32-bit programs (scripts/runs-x86.sh 32 runs one): the 32-bit build, the release, in
#     build-win32/ under 32-bit Wine;
#   - it does not (a kernel without 32-bit support: "Exec format error", so 32-bit Wine cannot start):
#     the 64-bit build in build-win64/ under 64-bit Wine (wine64), which needs no i386 package.
# One line says which suite ran and why; when neither can run, that line is the failure.
# Usage: scripts/windows.sh [--build-only | --zip]
#   --build-only  build, run nothing
#   --zip         build both, then pack dist/VelissaDesk-<version>-win32.zip and -win64.zip
#                 (scripts/package-windows.sh) and dist/VelissaDesk-<version>-setup.exe, one setup
#                 for both widths (scripts/setup-windows.sh); runs nothing, so it needs no Wine
# Environment:
#   VELISSA_WINDOWS_ARCH=i686|x86_64  this build instead of the probe's choice (to try the other one on
#                                     a machine that runs both)
#   VELISSA_WINDOWS_BUILD=DIR         build folder (default build-win32 or build-win64)
#   VELISSA_SAMPLES=DIR               the sample packages (default: the Linux test build's, else built)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}

# The sample animations are the same files on every system and are drawn with the build machine's
# cairo: they come from the Linux test build when it has them, else from a plain host build of them.
# The fuzz seeds the Windows suite feeds through DevIL.dll come the same way, from <build>/fuzz-seeds.
samples() {
  local dir=${VELISSA_SAMPLES:-}
  if [ -z "$dir" ]; then
    if compgen -G "build-test/samples/anim/*.dat" >/dev/null && [ -f build-test/samples/samples.kar ] &&
      [ -f build-test/fuzz-seeds/stamp ]; then
      dir=build-test/samples
    else
      bash scripts/deps.sh build >&2
      cmake -S . -B build-samples -DCMAKE_BUILD_TYPE=Release -DVELISSA_BUILD_TESTS=OFF >/dev/null
      cmake --build build-samples -j "$(nproc)" --target velissa_samples velissa_fuzz_seeds >&2
      dir=build-samples/samples
    fi
  fi
  (cd "$dir" && pwd)
}

# build ARCH DIR SAMPLES: configures and builds the program, tools and tests for i686 or x86_64.
build() {
  bash scripts/deps.sh "windows-$1"
  cmake -S . -B "$2" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw-$1.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELISSA_PLATFORM=win32 -DVELISSA_BUILD_TESTS=ON \
    -DVELISSA_SAMPLES_DIR="$3" --no-warn-unused-cli >/dev/null
  cmake --build "$2" -j "$(nproc)"
}

if [ "$mode" = "--zip" ]; then
  # Both releases, whatever this machine runs: building needs no Wine.
  samples=$(samples)
  for arch in i686 x86_64; do
    dir=build-win32
    [ "$arch" = x86_64 ] && dir=build-win64
    build "$arch" "$dir" "$samples"
    bash scripts/package-windows.sh "$dir" "$samples" "$arch"
  done
  version=$(sed -n 's/^project(VelissaDesk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  bash scripts/setup-windows.sh build-win32/resources/velissadesk.ico \
    "build-win32/dist/VelissaDesk-$version-win32" "build-win64/dist/VelissaDesk-$version-win64"
  exit 0
fi

# Which suite: the override, else the probe.
probe32=$(bash scripts/runs-x86.sh 32) && runs32=1 || runs32=0
arch=${VELISSA_WINDOWS_ARCH:-}
case "$arch" in
  i686|x86_64) why="VELISSA_WINDOWS_ARCH=$arch (this machine $probe32)" ;;
  "")
    if [ "$runs32" = 1 ]; then
      arch=i686 why="this machine $probe32 programs"
    elif probe64=$(bash scripts/runs-x86.sh 64); then
      arch=x86_64 why="this machine $probe32, so 32-bit Wine cannot start"
    else
      echo "Windows suite: none can run: this machine $probe32 and $probe64" >&2
      exit 1
    fi ;;
  *) echo "Windows suite: none: VELISSA_WINDOWS_ARCH must be i686 or x86_64, not '$arch'" >&2; exit 2 ;;
esac
if [ "$arch" = i686 ]; then
  suite="32-bit (i686) under 32-bit Wine" winearch=win32 build=${VELISSA_WINDOWS_BUILD:-build-win32}
else
  suite="64-bit (x86_64) under 64-bit Wine" winearch=win64 build=${VELISSA_WINDOWS_BUILD:-build-win64}
fi
echo "Windows suite: $suite in $build: $why"

build "$arch" "$build" "$(samples)"
[ "$mode" = "--build-only" ] && exit 0

bash scripts/deps.sh "wine-$arch" e2e
# The prefix the build's test emulator (cmake/wine-run.sh) uses: made once, kept with the build.
export WINEPREFIX WINEDEBUG=-all
WINEPREFIX=$(cmake -L -N "$build" | sed -n 's/^VELISSA_WINE_PREFIX:PATH=//p')
in_wine() { bash cmake/wine-run.sh "$winearch" "$WINEPREFIX" "" "$@" </dev/null >/dev/null 2>&1; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix $WINEPREFIX"
  in_wine wineboot -i
  # No display in the unit tests: Wine's null graphics driver still makes windows, menus and GDI objects.
  in_wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
  # A crashing test prints its backtrace and ends instead of waiting in the debugger's dialog.
  in_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  wineserver -w
fi
# One server and one set of Wine's services for all the tests, started here so that they do not hold a
# test's output open, and ended with them.
wineserver -p 2>/dev/null || true
trap 'wineserver -k 2>/dev/null || true' EXIT
in_wine wineboot
# A test that hangs in Wine fails after ten minutes instead of holding CI.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
