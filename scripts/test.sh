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
tree=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DZVT_WERROR=ON -DZVT_SHARED_LIBS=ON -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1)

cmake -S . -B build/asan "${tree[@]}" -DZVT_SANITIZE=address >/dev/null
cmake --build build/asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build/asan && ctest -j "$jobs" --output-on-failure --timeout 600)

# Every fuzz target replays its seed corpus under clang's sanitizers (seconds, not fuzzing).
bash scripts/fuzz-replay.sh

cmake -S . -B build/tsan "${tree[@]}" -DZVT_SANITIZE=thread -DZVT_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan -j "$jobs" --target zvt_concurrency_tests
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
(cd build/tsan && ctest -j "$jobs" -L concurrency --output-on-failure --timeout 600)
