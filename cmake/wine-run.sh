#!/usr/bin/env bash
# Runs a Windows program of the build under Wine: the emulator CTest puts before each test.
# Usage: wine-run.sh PREFIX DLL_DIRECTORY program.exe [arguments...]: DLL_DIRECTORY goes on Wine's
# search path. The prefix is made once by scripts/windows.sh.
set -euo pipefail
export WINEPREFIX=$1 WINEPATH=$2
shift 2
export WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
