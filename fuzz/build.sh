#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ (or $VELISSA_FUZZ_BUILD) and writes their seed
# corpus into build-fuzz/seeds/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build fuzz
build=${VELISSA_FUZZ_BUILD:-build-fuzz}
cmake -S fuzz -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j 2
rm -rf "$build/seeds"
ASAN_OPTIONS=detect_leaks=1 "$build/make_seeds" "$build/seeds"
