#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset, clang) and runs every
# build/fuzz/bin/fuzz_* program to its goal, one after the other.
#   FUZZ_RUNS     executions per target: each runs until it has made this many
#   FUZZ_SECONDS  seconds per target (default 30 when FUZZ_RUNS is not set);
#                 with FUZZ_RUNS too, a target stops at whichever comes first
#   FUZZ_MAX_LEN  the longest input in bytes (default: libFuzzer's own choice)
#   FUZZ_TARGETS  blank-separated names to run instead of all of them
#   FUZZ_NO_BUILD set to 1 to run the programs already built
# Each target keeps its growing corpus in build/fuzz/corpus/<target>, its log in
# build/fuzz/logs/<target>.log and any crashing input in
# build/fuzz/artifacts/<target>/. Exits 1 when a target crashed, 2 when the
# build failed.
set -u
cd "$(dirname "$0")/.." || exit 2

runs=${FUZZ_RUNS:-}
if [ -n "$runs" ]; then
  seconds=${FUZZ_SECONDS:-}
else
  seconds=${FUZZ_SECONDS:-30}
fi
max_len=${FUZZ_MAX_LEN:-}
for setting in "FUZZ_RUNS:$runs" "FUZZ_SECONDS:$seconds" "FUZZ_MAX_LEN:$max_len"; do
  case ${setting#*:} in
    *[!0-9]*) echo "${setting%%:*} must be a whole number" >&2; exit 2 ;;
  esac
done
goal=()
[ -n "$runs" ] && goal+=(-runs="$runs")
[ -n "$seconds" ] && goal+=(-max_total_time="$seconds")
[ -n "$max_len" ] && goal+=(-max_len="$max_len")

if [ "${FUZZ_NO_BUILD:-0}" != 1 ]; then
  cmake --preset fuzz && cmake --build --preset fuzz -j2 || { echo "fuzz build failed" >&2; exit 2; }
fi

bin_dir=build/fuzz/bin
if [ -n "${FUZZ_TARGETS:-}" ]; then
  targets=$FUZZ_TARGETS
else
  targets=$(find "$bin_dir" -maxdepth 1 -type f -perm -u+x -name 'fuzz_*' -printf '%f\n' 2>/dev/null | sort)
fi
if [ -z "$targets" ]; then
  echo "no fuzz_* programs in $bin_dir" >&2
  exit 2
fi

mkdir -p build/fuzz/logs
failed=0
printf '%-24s %14s %9s  %s\n' target executions seconds result
for name in $targets; do
  bin=$bin_dir/$name
  if [ ! -x "$bin" ]; then
    printf '%-24s %14s %9s  %s\n' "$name" - - "missing"
    failed=1
    continue
  fi
  corpus=build/fuzz/corpus/$name
  artifacts=build/fuzz/artifacts/$name
  log=build/fuzz/logs/$name.log
  mkdir -p "$corpus" "$artifacts"
  before=$(ls "$artifacts" | wc -l)
  # One job, so the two shared cores are not swamped; the outer timeout only
  # catches a fuzzer that hangs outside its own time limit (each input has
  # its own limit of 10 s).
  outer=()
  [ -n "$seconds" ] && outer=(timeout --kill-after=10 $((seconds + 60)))
  start=$(date +%s)
  "${outer[@]}" "$bin" "${goal[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
  rc=$?
  took=$(( $(date +%s) - start ))
  after=$(ls "$artifacts" | wc -l)
  runs_done=$(sed -n 's/^Done \([0-9][0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
  if [ -z "$runs_done" ]; then
    runs_done=$(sed -n 's/^stat::number_of_executed_units: *\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
  fi
  if [ "$rc" -eq 0 ] && [ "$after" -eq "$before" ]; then
    result="no crash"
    if [ -n "$runs" ] && [ "${runs_done:-0}" -lt "$runs" ]; then
      result="no crash; stopped at $seconds s before $runs executions"
    fi
  else
    result="CRASH (exit $rc; see $log and $artifacts/)"
    failed=1
  fi
  printf '%-24s %14s %9s  %s\n' "$name" "${runs_done:-?}" "$took" "$result"
done
exit $failed
