#!/usr/bin/env bash
# Builds the benchmarks (Release, no sanitizers) into build-bench/ and prints each figure as a ratio
# against its reference measured in the same run (medians of repeated runs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build bench
benches=(pack_open_bench catalogue_scan_bench present_frame_bench)
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELISSA_SANITIZE=OFF -DVELISSA_BUILD_TESTS=OFF \
  -DVELISSA_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j 2 --target "${benches[@]}" main_loop_bench >/dev/null
csv=$(for bench in "${benches[@]}"; do
  ./build-bench/bench/$bench --benchmark_repetitions=${BENCH_REPETITIONS:-7} \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null
done)
echo "$csv" | awk -F, '
  $1 ~ /_median"?$/ {
    name = $1; gsub(/"/, "", name); sub(/_median$/, "", name); time[name] = $3
  }
  function report(subject, reference, goal) {
    if (!(subject in time) || !(reference in time)) { printf "%-10s missing\n", subject; return }
    ratio = time[subject] / time[reference]
    printf "%-14s %8.2f ms  vs %-22s %8.2f ms  ratio %5.2f  goal <= %s  %s\n", subject, time[subject], reference,
           time[reference], ratio, goal, (ratio <= goal ? "met" : "MISSED")
  }
  END {
    report("open/z", "read+uncompress/z", 1.15)
    report("open/zs", "read+uncompress/zs", 1.15)
    report("open/s", "read+memcpy/s", 3)
    report("open/plain", "read+memcpy/plain", 2)
    report("scan/100x1MiB", "opens/100x1MiB", 1.2)
    report("present/256", "reference/256", 1.25)
    report("present/512", "reference/512", 1.25)
    report("draw/256", "reference/256", 1.25)
    report("draw/512", "reference/512", 1.25)
  }'

# The main loop runs 10 s of wall time per case, once: CPU percent of one core, no reference.
./build-bench/bench/main_loop_bench --benchmark_format=csv 2>/dev/null | awk -F, '
  /^name,/ { for (i = 1; i <= NF; ++i) { field = $i; gsub(/"/, "", field); column[field] = i }; next }
  column["cpu_percent"] {
    name = $1; gsub(/"/, "", name); sub(/\/iterations.*/, "", name)
    printf "%-18s %6.2f %% of one core  (%.0f passes/s, %d presents)\n", name, $column["cpu_percent"],
           $column["passes_per_second"], $column["presents"]
  }'
