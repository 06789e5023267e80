#!/usr/bin/env bash
# Replays every fuzz target's seed corpus (fuzz/corpus/<target>/) once, under AddressSanitizer
# and UndefinedBehaviorSanitizer, in a clang build of its own (build/fuzz): a replay of a few
# dozen inputs, seconds and not a fuzzing run. Clang's UBSan also checks pointer arithmetic that
# GCC's lets pass (an offset applied to a null pointer), so a finding the fuzzers made once
# fails here every time. Exits non-zero on the first input a target does not survive.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZVT_BUILD_FUZZ=ON \
  -DZVT_SANITIZE=address -DZVT_BUILD_TESTS=OFF -DZVT_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
targets=()
for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
echo "building build/fuzz (the fuzz targets, with clang's sanitizers)..."
source scripts/build-progress.sh
if ! build_quietly build/fuzz --target "${targets[@]}"; then
  echo "the build failed (messages above)" >&2
  exit 1
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
inputs=0
for target in "${targets[@]}"; do
  files=(fuzz/corpus/"$target"/*)
  seeds=()
  for f in "${files[@]}"; do [[ "$f" == *.py ]] || seeds+=("$f"); done
  # Given files rather than a folder, libFuzzer runs each once and stops. No seed may ask for
  # more than 64 MiB at once: the image bombs among them must be refused before their memory.
  # Each takes milliseconds within its target's limits; one that takes seconds (a picture
  # beyond the fuzzing budget decoded after all) fails the replay rather than slow the fuzzing.
  if ! build/fuzz/fuzz/"$target" -malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=10 "${seeds[@]}" \
    >"build/fuzz/$target.replay.log" 2>&1; then
    cat "build/fuzz/$target.replay.log"
    echo "fuzz replay: $target failed on its seed corpus (log above)" >&2
    exit 1
  fi
  inputs=$((inputs + ${#seeds[@]}))
done
echo "fuzz replay: ${#targets[@]} targets, $inputs seed inputs, no finding"
