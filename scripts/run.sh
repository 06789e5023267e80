#!/usr/bin/env bash
# Builds the project, starts the local Zavelto service with its demo data and then the
# application against it: in a desktop window when there is a display, otherwise headless with
# a tour of the screens whose pictures go to a folder (printed at the end).
#   ZVT_DATA_DIR  the service's data (default ~/.zavelto-service; seeded with demo data when
#                 new), apart from the application's own sandbox (ZVT_HOME, default ~/.zavelto)
#   ZVT_PORT      the service's port (default: the build's ZVT_SERVICE_PORT, 8880 unless
#                 configured otherwise, which is also the application's built-in server address)
#   ZVT_PICTURES  the tour's pictures (default build/pictures); a run replaces the pictures an
#                 earlier run made there and leaves every other file alone
#   ZVT_HOME      the application's sandbox in a window (default ~/.zavelto); the headless tour
#                 is a first start and always takes a fresh sandbox of its own, build/tour-home
#   ZVT_NO_BUILD  1: install and build nothing and run the service and application already in
#                 build/release (the run script's own test puts stand-ins there)
set -euo pipefail
# A folder named relative to where the command was given is taken from there.
pictures=${ZVT_PICTURES:-}
case $pictures in "" | /*) ;; *) pictures=$PWD/$pictures ;; esac
cd "$(dirname "$0")/.."
headless=1
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && headless=0
build=1
[ "${ZVT_NO_BUILD:-}" = 1 ] && build=0
[ "$build" = 0 ] || bash scripts/deps.sh

# The build shows its progress rather than every step (scripts/build-progress.sh).
source scripts/build-progress.sh
source scripts/tour-pictures.sh

# The pictures folder is checked before the build, so that a folder the tour may not write in
# is said at once rather than after minutes of building.
if [ "$headless" = 1 ]; then
  pictures=${pictures:-$PWD/build/pictures}
  if ! tour_pictures_prepare "$pictures" app/runner/tour.txt build/pictures; then
    exit 1
  fi
fi

if [ "$build" = 1 ]; then
  echo "building build/release (Release, no tests or benchmarks; the first build takes minutes)..."
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZVT_BUILD_TESTS=OFF -DZVT_BUILD_BENCH=OFF >/dev/null
  if ! BUILD_SLOW_STEPS="the last links optimise across the libraries: minutes" build_quietly build/release; then
    echo "the build failed (messages above)" >&2
    exit 1
  fi
fi

service=build/release/service/zavelto-service
app=build/release/Zavelto.app/zavelto
data=${ZVT_DATA_DIR:-$HOME/.zavelto-service}
port=${ZVT_PORT:-$(cmake -N -L build/release 2>/dev/null | sed -n 's/^ZVT_SERVICE_PORT:STRING=//p')}
mkdir -p build
log=build/service.log
# The service's first line says where it listens; a line left by an earlier run must not be
# taken for it (the redirection below empties the file only once the new process is under way).
rm -f build/service.out
"$service" --data-dir "$data" --port "$port" >build/service.out 2>"$log" &
service_pid=$!
trap 'kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true' EXIT
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
  echo "the service did not start on port $port (taken? choose another with ZVT_PORT); see $log:" >&2
  tail -n 5 "$log" >&2 || true
  exit 1
fi
echo "service:     $service on $root (data in $data; one line per request in $log)"

if [ "$headless" = 0 ]; then
  echo "application: $app in a desktop window, talking to $root"
  echo "to stop:     close the window or press Ctrl-C here; the service stops with the application"
  "$app" --window --server-root "$root"
else
  echo "application: $app headless (no display), taking the tour of app/runner/tour.txt against $root"
  echo "to stop:     it ends by itself, or press Ctrl-C; the service stops with the application"
  # The tour is a first start: the application's own files in a fresh home of their own.
  tour_home=$PWD/build/tour-home
  rm -rf "$tour_home"
  mkdir -p "$tour_home"
  status=0
  ZVT_HOME=$tour_home "$app" --headless --fast --script app/runner/tour.txt --pictures "$pictures" --server-root "$root" || status=$?
  tour_pictures_record "$pictures"
  echo "pictures of the tour: $pictures"
  exit "$status"
fi
