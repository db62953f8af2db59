#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset, clang) and runs every
# build/fuzz/bin/fuzz_* program for a bounded time, one after the other.
#   FUZZ_SECONDS  seconds per target (default 30)
#   FUZZ_TARGETS  blank-separated names to run instead of all of them
#   FUZZ_NO_BUILD set to 1 to run the programs already built
# Each target keeps its growing corpus in build/fuzz/corpus/<target>, its log in
# build/fuzz/logs/<target>.log and any crashing input in
# build/fuzz/artifacts/<target>/. Exits 1 when a target crashed, 2 when the
# build failed.
set -u
cd "$(dirname "$0")/.." || exit 2

seconds=${FUZZ_SECONDS:-30}
case $seconds in
  ''|*[!0-9]*) echo "FUZZ_SECONDS must be a whole number of seconds" >&2; exit 2 ;;
esac

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
printf '%-24s %14s  %s\n' target executions result
for name in $targets; do
  bin=$bin_dir/$name
  if [ ! -x "$bin" ]; then
    printf '%-24s %14s  %s\n' "$name" - "missing"
    failed=1
    continue
  fi
  corpus=build/fuzz/corpus/$name
  artifacts=build/fuzz/artifacts/$name
  log=build/fuzz/logs/$name.log
  mkdir -p "$corpus" "$artifacts"
  before=$(ls "$artifacts" | wc -l)
  # One job, so the two shared cores are not swamped; the outer timeout only
  # catches a fuzzer that hangs outside its own time limit.
  timeout --kill-after=10 $((seconds + 60)) \
    "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
  rc=$?
  after=$(ls "$artifacts" | wc -l)
  runs=$(sed -n 's/^Done \([0-9][0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
  if [ -z "$runs" ]; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
  fi
  if [ "$rc" -eq 0 ] && [ "$after" -eq "$before" ]; then
    result="no crash"
  else
    result="CRASH (exit $rc; see $log and $artifacts/)"
    failed=1
  fi
  printf '%-24s %14s  %s\n' "$name" "${runs:-?}" "$result"
done
exit $failed
