#!/usr/bin/env bash
# Installs the Debian packages that a task needs and the machine lacks.
# Usage: scripts/deps.sh build|test|bench|desktop|e2e|fuzz|deb|windows|wine ...
#   windows-i686, windows-x86_64  the 32-bit or 64-bit Windows cross build
#   wine-i686, wine-x86_64        the Wine that runs it (32-bit Wine needs the i386 architecture)
#   windows, wine                 the width this machine's Windows suite uses: VELISSA_WINDOWS_ARCH, else
#                                 32-bit where it runs 32-bit programs (scripts/runs-x86.sh), else 64-bit
set -euo pipefail

machine_arch() {
  if [ -n "${VELISSA_WINDOWS_ARCH:-}" ]; then echo "$VELISSA_WINDOWS_ARCH"
  elif bash "$(dirname "$0")/runs-x86.sh" 32 >/dev/null; then echo i686
  else echo x86_64; fi
}

packages=()
for profile in "$@"; do
  case "$profile" in
    windows|wine) profile=$profile-$(machine_arch) ;;
  esac
  case "$profile" in
    build)   packages+=(cmake make g++ pkg-config zlib1g-dev libdevil-dev libcairo2-dev libgif-dev libwebp-dev
                        libpng-dev nlohmann-json3-dev) ;;
    test)    packages+=(cmake make g++ pkg-config zlib1g-dev libdevil-dev libcairo2-dev libgif-dev libwebp-dev
                        libpng-dev nlohmann-json3-dev libgtest-dev libgmock-dev valgrind dpkg-dev) ;;
    bench)   packages+=(libbenchmark-dev libturbojpeg0-dev linux-perf) ;;  # perf: presents a second
    desktop) packages+=(libgtk-3-dev libxext-dev libxrender-dev libxfixes-dev x11-utils libgtk-layer-shell-dev
                        libwayland-dev wayland-protocols) ;;
    e2e)     packages+=(xvfb xcompmgr xdotool imagemagick hsetroot x11-utils trayer xclip python3)
             packages+=(dbus libglib2.0-bin)  # the tray test's own session bus, gdbus
             packages+=(openbox) # a reparenting window manager for the session test
             # xfwm4 keeps the character over full-screen windows; wmctrl drives them; the dummy
             # driver gives Xorg two monitors, xrandr takes one away.
             packages+=(xfwm4 wmctrl xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils)

             packages+=(sway grim weston util-linux) ;;  # the Wayland test: headless sway, the fallback
    fuzz)    packages+=(clang libclang-rt-14-dev) ;;
    deb)     packages+=(dpkg-dev file lintian) ;;  # cpack -G DEB with dpkg-shlibdeps, and its check
    windows-i686)   packages+=(cmake make g++ g++-mingw-w64-i686 binutils-mingw-w64-i686 libz-mingw-w64-dev
                               libdevil-dev nlohmann-json3-dev googletest libstb-dev zip nsis) ;;
    windows-x86_64) packages+=(cmake make g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
                               libz-mingw-w64-dev libdevil-dev nlohmann-json3-dev googletest libstb-dev zip nsis) ;;
    wine-i686)   packages+=(wine wine32:i386) ;;
    # wine brings the commands (wineserver, wineboot); the 64-bit loader alone is in wine64.
    wine-x86_64) packages+=(wine wine64) ;;
    *) echo "deps.sh: unknown profile '$profile'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo=(sudo); else
    echo "deps.sh: these packages are missing and you are not root: ${missing[*]}" >&2; exit 1
  fi
fi
# 32-bit packages (wine32:i386) need the i386 architecture.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture"
  "${sudo[@]}" dpkg --add-architecture i386
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
