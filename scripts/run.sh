#!/usr/bin/env bash
# Builds the project, starts the local Zavelto service with its demo data and then the
# application against it: in a desktop window when there is a display, otherwise headless with
# a tour of the screens whose pictures go to a folder (printed at the end).
#   ZVT_DATA_DIR  the service's data (default ~/.zavelto; seeded with demo data when new)
#   ZVT_PORT      the service's port (default: any free one)
#   ZVT_PICTURES  the tour's pictures (default build/pictures)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZVT_BUILD_TESTS=OFF -DZVT_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)"

service=build/release/service/zavelto-service
app=build/release/Zavelto.app/zavelto
data=${ZVT_DATA_DIR:-$HOME/.zavelto}
mkdir -p build
log=build/service.log
"$service" --data-dir "$data" --port "${ZVT_PORT:-0}" >build/service.out 2>"$log" &
service_pid=$!
trap 'kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true' EXIT
# The service's first line says where it listens.
root=""
for _ in $(seq 100); do
  if line=$(head -n 1 build/service.out 2>/dev/null) && [ -n "$line" ]; then
    root="http://${line#listening on }"
    break
  fi
  if ! kill -0 "$service_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$root" ]; then
  echo "the service did not start; see $log" >&2
  exit 1
fi
echo "service: $root (data in $data, log in $log)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$app" --window --server-root "$root"
else
  pictures=${ZVT_PICTURES:-$PWD/build/pictures}
  rm -rf "$pictures"
  mkdir -p "$pictures"
  echo "no display: taking the tour headless"
  status=0
  "$app" --headless --fast --script app/runner/tour.txt --pictures "$pictures" --server-root "$root" || status=$?
  echo "pictures of the tour: $pictures"
  exit "$status"
fi
