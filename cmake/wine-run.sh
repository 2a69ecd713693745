#!/usr/bin/env bash
# Runs a Windows program under Wine of the given width: the emulator CTest puts before each test, and
# how scripts/windows.sh and the smoke test start Wine's own programs (wineboot, reg).
# Usage: wine-run.sh win32|win64 PREFIX DLL_DIRECTORY program.exe [arguments...]: DLL_DIRECTORY (may
# be empty) goes on Wine's search path. The tests' prefix is made once by scripts/windows.sh.
set -euo pipefail
export WINEARCH=$1 WINEPREFIX=$2 WINEPATH=$3
shift 3
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
case "$WINEARCH" in
  win32) exec wine "$@" ;;
  win64)
    # Debian's `wine` starts the 32-bit loader whenever wine32 is installed too; the 64-bit loader is
    # named directly (Debian keeps it out of PATH), and the programs it starts find it again.
    loader=
    for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
      if [ -n "$candidate" ] && [ -x "$candidate" ]; then loader=$candidate; break; fi
    done
    [ -n "$loader" ] || { echo "wine-run.sh: no 64-bit Wine (Debian: wine64)" >&2; exit 127; }
    export WINELOADER=$loader
    exec "$loader" "$@" ;;
  *) echo "wine-run.sh: WINEARCH must be win32 or win64, not '$WINEARCH'" >&2; exit 2 ;;
esac
