#!/usr/bin/env bash
# Runs one benchmark program once in smoke mode: every benchmark a single short round, so that
# CI notices a benchmark that no longer builds, crashes or reports an error. The figures mean
# nothing here (CI builds with sanitizers). ZVT_BENCH_SMOKE tells programs to shorten work of
# their own (repeated probes, warm-ups).
#   bench/smoke.sh PROGRAM [extra benchmark arguments...]
set -euo pipefail
program=$1
shift
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
ZVT_BENCH_SMOKE=1 "$program" --benchmark_min_time=0.000001 --benchmark_format=json --benchmark_out="$out" \
  --benchmark_out_format=json "$@" >/dev/null || status=$?
# 77: the program's inputs are missing (it said which); the test shows as skipped.
[ "$status" -eq 0 ] || exit "$status"
if grep -q '"error_occurred": true' "$out"; then
  grep -B2 -A2 '"error_message"' "$out" >&2
  echo "smoke: $(basename "$program") reported an error" >&2
  exit 1
fi
count=$(grep -c '"run_name"' "$out" || true)
if [ "$count" -eq 0 ]; then
  echo "smoke: $(basename "$program") ran no benchmark" >&2
  exit 1
fi
echo "smoke: $(basename "$program"): $count benchmarks ran"
