#!/usr/bin/env bash
# Builds the project and starts the application (for now: the local Zavelto service with its demo data).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZVT_BUILD_TESTS=OFF -DZVT_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)"
if [ -x build/release/service/zavelto-service ]; then
  exec build/release/service/zavelto-service --data-dir "${ZVT_DATA_DIR:-$HOME/.zavelto}" --port "${ZVT_PORT:-8080}"
fi
echo "built; nothing runnable yet"
