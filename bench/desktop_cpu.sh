#!/usr/bin/env bash
# What the desktop program (Release, gtk backend, built here in this run) costs under Xvfb with
# xcompmgr and openbox, over 20 s a row (DESKTOP_CPU_SECONDS): CPU percent of one core, presents a
# second and peak memory, playing a 256 x 256 animation at 10 fps and hidden, the bundled samples (first
# GTK program on the display, and after another), and a 300-frame 512 x 512 animation at 25 fps (see
# desktop_cpu.py), and what any GTK program pays there to show a picture of the samples' size 20 times a
# second (gtk_floor_bench); then the headless baseline of the same main loop (main_loop_bench, 10 s each).
# Other work on the machine skews the figures: the load is printed first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build bench desktop e2e
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELISSA_SANITIZE=OFF -DVELISSA_BUILD_TESTS=OFF \
  -DVELISSA_BUILD_BENCH=ON -DVELISSA_PLATFORM=gtk >/dev/null
cmake --build build-bench -j 2 --target velissadesk velissa-pack velissa_samples main_loop_bench \
  gtk_floor_bench >/dev/null
echo "load: $(uptime)"
python3 bench/desktop_cpu.py --floor build-bench/bench/gtk_floor_bench build-bench/app/velissadesk \
  build-bench/tools/velissa-pack build-bench/samples "${DESKTOP_CPU_SECONDS:-20}"
./build-bench/bench/main_loop_bench --benchmark_format=csv 2>/dev/null | awk -F, '
  /^name,/ { for (i = 1; i <= NF; ++i) { field = $i; gsub(/"/, "", field); column[field] = i }; next }
  column["cpu_percent"] {
    name = $1; gsub(/"/, "", name); sub(/\/iterations.*/, "", name); sub(/^main_loop\//, "", name)
    printf "headless %-9s %6.2f %% of one core  (%.1f wake-ups/s, %.1f presents/s)\n", name,
           $column["cpu_percent"], $column["wakeups_per_second"], $column["presents_per_second"]
  }'
