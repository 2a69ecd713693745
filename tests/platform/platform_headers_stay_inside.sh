#!/usr/bin/env bash
# Fails when a source breaks the layering of the modules:
# - only platform/ may include <windows.h>, GTK, GDK, cairo or X11 headers (the sample animations'
#   frames are drawn at build time by a program of their own with cairo, which is not the player:
#   samples/ may include cairo, and nothing else of these);
# - a module never includes a header of a module above it, in the order
#   foundation, package, platform, animation, catalogue, shell.
set -euo pipefail
cd "$1"
headers='windows\.h|winuser\.h|shellapi\.h|mmsystem\.h|gtk/|gdk/|X11/'
include='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]'
sources=(--include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp')
status=0

found=$( { grep -rlE "$include($headers|cairo)" "${sources[@]}" foundation package animation catalogue shell app tools
           grep -rlE "$include($headers)" "${sources[@]}" samples; } 2>/dev/null || true)
if [ -n "$found" ]; then
  echo "windowing-system headers included outside platform/:" >&2
  echo "$found" >&2
  status=1
fi

layers=(foundation package platform animation catalogue shell)
for ((i = 0; i < ${#layers[@]}; i++)); do
  above=$(IFS='|'; echo "${layers[*]:i+1}")
  [ -n "$above" ] || continue
  found=$(grep -rnE "$include($above)/" "${sources[@]}" "${layers[i]}" 2>/dev/null || true)
  if [ -n "$found" ]; then
    echo "${layers[i]}/ includes a module above it:" >&2
    echo "$found" >&2
    status=1
  fi
done
exit $status
