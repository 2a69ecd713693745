#!/usr/bin/env bash
# Fails when a program source outside the platform layer includes a windowing-system header: only
# shell/platform.h and shell/platform/ may include <windows.h>, GTK, GDK, cairo or X11 headers. The
# sample animations' frames are drawn at build time by a program of their own with cairo, which is
# not the player: samples/ may include cairo, and nothing else of these.
set -euo pipefail
cd "$1"
headers='windows\.h|winuser\.h|shellapi\.h|mmsystem\.h|gtk/|gdk/|X11/'
include='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]'
sources=(--include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp')
found=$( { grep -rlE "$include($headers|cairo)" "${sources[@]}" foundation package animation catalogue shell app tools
           grep -rlE "$include($headers)" "${sources[@]}" samples; } 2>/dev/null \
        | grep -vE '^shell/platform(\.h$|/)' || true)
if [ -n "$found" ]; then
  echo "windowing-system headers included outside shell/platform:" >&2
  echo "$found" >&2
  exit 1
fi
