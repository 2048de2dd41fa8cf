#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target (or those named) for
# SECONDS each, FUZZ_PARALLEL at a time, starting from the seed corpus and
# the inputs of fixed findings. The growing corpus stays in $FUZZ_WORK/corpus
# (default build/fuzz), findings go to $FUZZ_WORK/findings/<target>/, logs to
# $FUZZ_WORK/logs/. Prints per target the
# executions, coverage (cov, ft) and findings; fails if anything was found.
#
# usage: tools/fuzz.sh SECONDS [TARGET...]   (targets: pat render_png hostile_camera cli)
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/fuzz.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(pat render_png hostile_camera cli)
parallel=${FUZZ_PARALLEL:-1}
work=${FUZZ_WORK:-build/fuzz}
# The harnesses write their files under the temporary folder; in memory, a
# flush costs nothing.
if [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j "${VELMORA_JOBS:-2}" >/dev/null || {
  echo "fuzz build failed: 0 passed, 1 failed"
  exit 1
}

max_len() {
  case $1 in
    pat) echo 50000 ;;
    render_png) echo 32768 ;;
    *) echo 131072 ;;
  esac
}

run_target() {
  local target=$1 corpus=$work/corpus/$1 findings=$work/findings/$1
  mkdir -p "$corpus" "$findings" "$work"/logs
  build/fuzz/fuzz/fuzz_"$target" "$corpus" fuzz/corpus/"$target" $(ls -d fuzz/regressions/"$target" 2>/dev/null) \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len="$(max_len "$target")" \
    -print_final_stats=1 -artifact_prefix="$findings/" >"$work"/logs/"$target".log 2>&1
}

pids=()
for target in "${targets[@]}"; do
  run_target "$target" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$parallel" ]; then
    wait "${pids[0]}"
    pids=("${pids[@]:1}")
  fi
done
wait

passed=0 failed=0
for target in "${targets[@]}"; do
  log=$work/logs/$target.log
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{print $2}')
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
  # Slow units only say the machine was busy; crashes, leaks, timeouts and
  # memory exhaustion are findings.
  found=$(find "$work"/findings/"$target" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \) | wc -l)
  printf '%-15s %10s executions  %-22s %s finding(s)\n' "$target" "${execs:-?}" "${cov:-?}" "$found"
  if [ "$found" -eq 0 ] && [ -n "$execs" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
