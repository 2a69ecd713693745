#!/usr/bin/env bash
# Builds dist/VelissaDesk-<version>-setup.exe with Debian's makensis from the folders that
# scripts/package-windows.sh packed: the 32-bit one, and the 64-bit one when there is one (the setup
# then installs the 64-bit program on 64-bit Windows). Run by `scripts/windows.sh --zip`.
# Usage: scripts/setup-windows.sh ICON STAGING_32 [STAGING_64]
# Environment: VELISSA_DIST=DIR  where the setup goes (default dist)
set -euo pipefail
cd "$(dirname "$0")/.."
icon=$1 dir32=$2 dir64=${3:-}
command -v makensis >/dev/null || bash scripts/deps.sh windows-i686
version=$(sed -n 's/^project(VelissaDesk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
dist=${VELISSA_DIST:-dist}
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The sample packages by name, so that the uninstaller removes these and no animation the user added.
{
  echo '!macro InstallSamples from'
  for sample in "$dir32"/anim/*.dat; do echo "  File \"\${from}\\$(basename "$sample")\""; done
  echo '!macroend'
  echo '!macro RemoveSamples in'
  for sample in "$dir32"/anim/*.dat; do echo "  Delete \"\${in}\\$(basename "$sample")\""; done
  echo '!macroend'
} > "$work/files.nsh"

to_windows() { (cd "$1" && pwd) ; }
defines=(-DVERSION="$version" -DOUTFILE="$dist/VelissaDesk-$version-setup.exe" -DFILES="$work/files.nsh"
         -DDIR32="$(to_windows "$dir32")" -DICON="$(cd "$(dirname "$icon")" && pwd)/$(basename "$icon")")
[ -n "$dir64" ] && defines+=(-DDIR64="$(to_windows "$dir64")")
makensis -V2 -NOCD "${defines[@]}" scripts/velissadesk-setup.nsi >&2
echo "$dist/VelissaDesk-$version-setup.exe"
