#!/usr/bin/env bash
# Fuzzes one target for a while: scripts/fuzz-run.sh <target> [seconds, default 300].
# Builds the clang ASan+UBSan tree of scripts/fuzz-replay.sh (build/fuzz), starts from the
# target's seed corpus and what earlier runs found (build/fuzz/corpus/<target>, kept between
# runs), with the target's options (fuzz/<target>.options), and ends with libFuzzer's
# statistics (average_exec_per_sec: inputs a second). Findings are written to
# build/fuzz/findings/<target>/; add the small ones that matter to fuzz/corpus/<target>/
# (after `-minimize_crash=1`, or `-merge=1` for new coverage).
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz-run.sh <target> [seconds]}
seconds=${2:-300}
[[ -d fuzz/corpus/$target ]] || { echo "no seed corpus fuzz/corpus/$target" >&2; exit 2; }
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZVT_BUILD_FUZZ=ON \
  -DZVT_SANITIZE=address -DZVT_BUILD_TESTS=OFF -DZVT_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target "$target"
# The options file's "name = value" lines under [libfuzzer] become -name=value flags.
flags=()
if [[ -f fuzz/$target.options ]]; then
  while IFS='=' read -r name value; do
    name=${name//[[:space:]]/}
    value=${value//[[:space:]]/}
    [[ -z $name || $name == \#* || $name == \[* ]] && continue
    flags+=("-$name=$value")
  done <"fuzz/$target.options"
fi
corpus=build/fuzz/corpus/$target
findings=build/fuzz/findings/$target
mkdir -p "$corpus" "$findings"
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec build/fuzz/fuzz/"$target" "${flags[@]}" -max_total_time="$seconds" -print_final_stats=1 \
  -malloc_limit_mb=64 -rss_limit_mb=2048 -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$target"
