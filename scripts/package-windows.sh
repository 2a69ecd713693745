#!/usr/bin/env bash
# Packs a Windows build into dist/VelissaDesk-<version>-win32.zip (i686) or -win64.zip (x86_64): the
# program, velissa-pack and the project's DevIL.dll (stripped), the sample animations in anim/,
# samples.kar, docs/ and a readme. The folder it packs stays as BUILD_DIR/dist/<name>, for the setup.
# Usage: scripts/package-windows.sh BUILD_DIR SAMPLES_DIR i686|x86_64 (run by `scripts/windows.sh --zip`)
# Environment: VELISSA_DIST=DIR  where the zip goes (default dist)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1 samples=$2 arch=$3
case "$arch" in
  i686)   bits=32 ;;
  x86_64) bits=64 ;;
  *) echo "package-windows.sh: the width is i686 or x86_64, not '$arch'" >&2; exit 2 ;;
esac
version=$(sed -n 's/^project(VelissaDesk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=VelissaDesk-$version-win$bits
staging=$build/dist/$name
dist=${VELISSA_DIST:-dist}

rm -rf "$staging"
mkdir -p "$staging/anim" "$staging/docs" "$dist"
for program in app/velissadesk.exe tools/velissa-pack.exe devil-dll/DevIL.dll; do
  "$arch-w64-mingw32-strip" -o "$staging/$(basename "$program")" "$build/$program"
done
cp "$samples"/anim/*.dat "$staging/anim/"
cp "$samples/samples.kar" "$staging/"
cp docs/*.html "$staging/docs/"
# Windows line ends: the readme is opened with Notepad.
sed 's/$/\r/' > "$staging/README.txt" <<TEXT
VelissaDesk $version for Windows ($bits-bit)

velissadesk.exe   the desktop character player
velissa-pack.exe  the tool that makes, checks and packs animations (velissa-pack help)
DevIL.dll         the image library the two programs use: VelissaDesk's own build of the DevIL
                  functions they call, decoding JPEG with stb_image (public domain) and other
                  pictures with the Windows Imaging Component that comes with Windows.
                  DevIL's own $bits-bit DevIL.dll may replace it.
anim\\            the sample animations
samples.kar       the same samples as one archive, to drop on the character
docs\\            the user guide, the guide to making animations, the licence

Double-click velissadesk.exe: the character appears at the bottom-right of the screen. Right-click
it, or click its tray icon, for the menu. This folder can be anywhere: the program finds anim\\
beside itself, also when it is started from a shortcut or at sign-in.

VelissaDesk-$version-setup.exe installs the same program for you alone, with no administrator
rights, into %LOCALAPPDATA%\\Programs\\VelissaDesk, with a Start-menu entry, start at sign-in
and an uninstaller.

The registry value "path" under HKEY_CURRENT_USER\\Software\\Orvant\\VelissaDesk, when set (the
setup sets it), names the folder that holds anim\\ and comes first. To move an installed copy:
   reg add HKCU\\Software\\Orvant\\VelissaDesk /v path /t REG_SZ /d C:\\path\\to\\folder /f
TEXT

dist=$(cd "$dist" && pwd)
rm -f "$dist/$name.zip"
(cd "$build/dist" && zip -qr -X "$dist/$name.zip" "$name")
echo "$dist/$name.zip"
