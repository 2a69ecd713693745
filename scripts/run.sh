#!/usr/bin/env bash
# Builds the player and starts it on the bundled sample animations.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "run.sh: the desktop player is not built yet; 'bash scripts/test.sh' builds and tests what exists." >&2
exit 1
