#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer and runs every test,
# replays the fuzz targets' seed corpora under clang's sanitizers, then builds the concurrency
# tests with ThreadSanitizer and runs them again. Compiler warnings
# are errors here (ZVT_WERROR), not in a person's own build. The sanitizer trees link the
# project's libraries as shared objects and keep line tables only (-g1), enough for a
# sanitizer's report: a full static debug tree takes more than 12 GB, these about 4 GB together.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
# The builds show their progress rather than every step (scripts/build-progress.sh).
source scripts/build-progress.sh
tree=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DZVT_WERROR=ON -DZVT_SHARED_LIBS=ON -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1)

echo "building build/asan (everything, with AddressSanitizer and UndefinedBehaviorSanitizer)..."
cmake -S . -B build/asan "${tree[@]}" -DZVT_SANITIZE=address >/dev/null
if ! build_quietly build/asan; then
  echo "the build failed (messages above)" >&2
  exit 1
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build/asan && ctest -j "$jobs" --output-on-failure --timeout 600)

# Every fuzz target replays its seed corpus under clang's sanitizers (seconds, not fuzzing).
bash scripts/fuzz-replay.sh

echo "building build/tsan (the concurrency tests, with ThreadSanitizer)..."
cmake -S . -B build/tsan "${tree[@]}" -DZVT_SANITIZE=thread -DZVT_BUILD_BENCH=OFF >/dev/null
if ! build_quietly build/tsan --target zvt_concurrency_tests; then
  echo "the build failed (messages above)" >&2
  exit 1
fi
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
(cd build/tsan && ctest -j "$jobs" -L concurrency --output-on-failure --timeout 600)
