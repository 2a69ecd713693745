#!/usr/bin/env bash
# Packs a Windows build into dist/VelissaDesk-<version>-win32.zip (i686) or -win64.zip (x86_64): the
# program and velissa-pack (stripped), the sample animations in anim/, samples.kar, docs/ and a readme.
# DevIL.dll is not ours to ship: the user puts DevIL's own, of the same width, beside the program (the
# build's stand-in is for tests only).
# Usage: scripts/package-windows.sh BUILD_DIR SAMPLES_DIR i686|x86_64 (run by `scripts/windows.sh --zip`)
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

rm -rf "$staging"
mkdir -p "$staging/anim" "$staging/docs" dist
for program in app/velissadesk.exe tools/velissa-pack.exe; do
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
anim\\            the sample animations
samples.kar       the same samples as one archive, to drop on the character
docs\\            the user guide, the guide to making animations, the licence

1. Put DevIL.dll beside velissadesk.exe: the $bits-bit, non-Unicode "DevIL.dll" of the DevIL project's
   Windows binaries (https://openil.sourceforge.net), which exports the plain names (ilInit, ...).
   This is the $bits-bit program: a DevIL.dll of the other width does not load.
2. Tell the player where this folder is (the folder that holds anim\\):
   reg add HKCU\\Software\\Orvant\\VelissaDesk /v path /t REG_SZ /d C:\\path\\to\\this\\folder
3. Start velissadesk.exe. Right-click the character or click its tray icon for the menu.
TEXT

# The build's stand-in DevIL.dll must never ship.
if find "$staging" -iname 'devil*.dll' | grep -q .; then
  echo "package-windows.sh: a DevIL.dll is in $staging" >&2
  exit 1
fi
rm -f "dist/$name.zip"
(cd "$build/dist" && zip -qr -X "$OLDPWD/dist/$name.zip" "$name")
echo "dist/$name.zip"
