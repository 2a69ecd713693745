#!/usr/bin/env bash
# Fails when a program source outside the platform layer includes a windowing-system header: only
# shell/platform.h and shell/platform/ may include <windows.h>, GTK, GDK, cairo or X11 headers.
set -euo pipefail
cd "$1"
pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](windows\.h|winuser\.h|shellapi\.h|mmsystem\.h|gtk/|gdk/|cairo|X11/)'
found=$(grep -rlE "$pattern" --include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp' \
          foundation package animation catalogue shell app tools samples 2>/dev/null \
        | grep -vE '^shell/platform(\.h$|/)' || true)
if [ -n "$found" ]; then
  echo "windowing-system headers included outside shell/platform:" >&2
  echo "$found" >&2
  exit 1
fi
