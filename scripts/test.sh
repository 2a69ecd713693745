#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs all tests.
# Usage: scripts/test.sh [--windows]. With --windows (or VELISSA_WINDOWS=1) the Windows build and its
# tests under Wine follow (scripts/windows.sh: 32-bit where this machine runs 32-bit programs, else
# 64-bit; it installs mingw-w64 and the Wine it needs).
set -euo pipefail
cd "$(dirname "$0")/.."
windows=${VELISSA_WINDOWS:-0}
[ "${1:-}" = "--windows" ] && windows=1
bash scripts/deps.sh test desktop e2e
build=${VELISSA_TEST_BUILD:-build-test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELISSA_SANITIZE=ON -DVELISSA_BUILD_TESTS=ON \
  -DVELISSA_PLATFORM=gtk >/dev/null
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
if [ "$windows" = 1 ]; then
  bash scripts/windows.sh
fi
