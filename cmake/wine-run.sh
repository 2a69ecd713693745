#!/usr/bin/env bash
# Runs a Windows program of the build under Wine: the emulator CTest puts before each test.
# Usage: wine-run.sh PREFIX program.exe [arguments...]. The prefix is made once by scripts/windows.sh.
set -euo pipefail
export WINEPREFIX=$1
shift
export WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
