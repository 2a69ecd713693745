#!/usr/bin/env bash
# Runs every fuzz target (or those named) for SECONDS each, two at a time under nice, on its corpus in
# build-fuzz/corpus/<target>/ (grown across runs) and its seeds, then prints per target the executions,
# the coverage (cov: edges, ft: features) and the findings. Findings are kept in
# build-fuzz/findings/<target>/; the log of each run in build-fuzz/logs/. Exit status 1 on any finding.
# Usage: fuzz/run.sh SECONDS [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(pack_open catalogue_entry description_package description_file archive inspect drop_sequence)
build=$(realpath -m "${VELISSA_FUZZ_BUILD:-build-fuzz}")  # absolute: some targets change directory
bash fuzz/build.sh >/dev/null

run_target() {
  local target=$1
  mkdir -p "$build/corpus/$target" "$build/findings/$target" "$build/logs"
  # close_fd_mask=3: the targets' own output is noise (libFuzzer and the sanitizers keep reporting).
  nice -n 10 "$build/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=3 -dict="$PWD/fuzz/formats.dict" -artifact_prefix="$build/findings/$target/" \
    "$build/corpus/$target" "$build/seeds/$target" >"$build/logs/$target.log" 2>&1 &
  local pid=$! result=0
  wait $pid || result=$?
  # A target that crashed had no chance to remove its scratch directory (fuzz/fuzz_support.h).
  rm -rf "/dev/shm/velissa-fuzz-$pid" "${TMPDIR:-/tmp}/velissa-fuzz-$pid"
  return $result
}

declare -A status
for target in "${targets[@]}"; do
  [ -x "$build/$target" ] || { echo "fuzz/run.sh: no target '$target'" >&2; exit 2; }
done
pids=()
names=()
for target in "${targets[@]}"; do
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" && status[${names[0]}]=0 || status[${names[0]}]=$?
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
  run_target "$target" &
  pids+=($!)
  names+=("$target")
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" && status[${names[$i]}]=0 || status[${names[$i]}]=$?
done

found=0
printf '%-20s %12s %9s %7s %7s %7s %9s\n' target executions exec/s cov ft corpus findings
for target in "${targets[@]}"; do
  log="$build/logs/$target.log"
  stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -1; }
  last=$(grep -E '^#[0-9]+' "$log" | grep ' cov: ' | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  findings=$(find "$build/findings/$target" -type f | wc -l)
  if [ "${status[$target]}" -ne 0 ] && [ "$findings" -eq 0 ]; then findings="exit ${status[$target]}"; fi
  [ "$findings" = 0 ] || found=1
  printf '%-20s %12s %9s %7s %7s %7s %9s\n' "$target" "$(stat number_of_executed_units)" \
    "$(stat average_exec_per_sec)" "${cov:-?}" "${ft:-?}" "$(find "$build/corpus/$target" -type f | wc -l)" "$findings"
done
if [ "$found" -ne 0 ]; then
  echo "fuzz/run.sh: findings above; see $build/findings/ and $build/logs/" >&2
  exit 1
fi
