#!/usr/bin/env bash
# Instruction counts of one iteration of the JSON and SQLite benchmarks under callgrind, and
# ours against each peer: figures that do not depend on machine load. Each benchmark's work is a
# function of its own (measured...), counted alone with --toggle-collect.
#   bench/callgrind.sh BUILD_DIR        (a Release build, e.g. build/bench)
set -euo pipefail
build=${1:?usage: bench/callgrind.sh BUILD_DIR}
export ZVT_BENCH_DATA=${ZVT_BENCH_DATA:-$(cd "$(dirname "$0")/../.." && pwd)/shared/bench-data}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# count PROGRAM FUNCTION FILTER: instructions of FUNCTION while the benchmarks FILTER run once.
count() {
  valgrind --tool=callgrind --callgrind-out-file="$out/cg" --toggle-collect="*$2*" "$build/bench/$1" \
    --benchmark_filter="$3" --benchmark_min_time=0.000001 2>&1 | sed -n 's/.*Collected : //p'
}

row() {  # LABEL OURS PEER...: ours and each peer's count, and the ratio peer / ours
  local label=$1 ours=$2
  shift 2
  local line="| $label | $ours"
  for peer in "$@"; do line+=" | $peer | $(awk -v a="$peer" -v b="$ours" 'BEGIN { printf "%.2f", a / b }')"; done
  echo "$line |"
}

echo "| JSON | ours (instructions) | RapidJSON exact | ratio | nlohmann | ratio |"
echo "|---|---|---|---|---|---|"
for doc in twitter citm_catalog canada; do
  row "decode $doc" "$(count json_bench measuredDecodeOurs "decode/$doc/ours/")" \
    "$(count json_bench measuredDecodeRapidJSON "decode/$doc/rapidjson/")" \
    "$(count json_bench measuredDecodeNlohmann "decode/$doc/nlohmann/")"
  row "encode $doc (app tree)" "$(count json_bench measuredEncodeOurs "encode/$doc/ours/")" \
    "$(count json_bench measuredEncodeRapidJSON "encode/$doc/rapidjson/")" \
    "$(count json_bench measuredEncodeNlohmann "encode/$doc/nlohmann/")"
done
echo
echo "| SQLite | ours (instructions) | sqlite3 C API | ratio | SQLiteCpp | ratio |"
echo "|---|---|---|---|---|---|"
row "insert 100,000" "$(count sqlite_bench measuredInsertSQDatabase sqlite/insert/ours)" \
  "$(count sqlite_bench measuredInsertRaw sqlite/insert/sqlite3)" \
  "$(count sqlite_bench measuredInsertSQLiteCpp sqlite/insert/sqlitecpp)"
row "select 100,000" "$(count sqlite_bench measuredSelectSQDatabase sqlite/select/ours)" \
  "$(count sqlite_bench measuredSelectRaw sqlite/select/sqlite3)" \
  "$(count sqlite_bench measuredSelectSQLiteCpp sqlite/select/sqlitecpp)"
