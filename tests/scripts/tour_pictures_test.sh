#!/usr/bin/env bash
# The tour's pictures folder: a run replaces only the pictures earlier runs made and keeps every
# other file of the folder, which may be one of the user's own. The helper's cases first, then
# scripts/run.sh itself, building nothing (ZVT_NO_BUILD) in a tree of its own with stand-ins for
# the service and the application.
#   tour_pictures_test.sh SOURCE_DIR
set -uo pipefail
src=${1:?usage: tour_pictures_test.sh SOURCE_DIR}
source "$src/scripts/tour-pictures.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'expect "首页"\nshot a.png\nwait 1\n  shot b.png\n# shot c.png\n' >"$work/tour.txt"
failed=0 passed=0

# A run as the runner makes it: the tour's pictures (and a failure's) appear in the folder.
run() { prepare "$@" || return 1; for n in a.png b.png; do echo new >"$dir/$n"; done; tour_pictures_record "$dir"; }
prepare() { tour_pictures_prepare "$dir" "$work/tour.txt" "$work/default" 2>"$work/said"; }
check() {  # NAME CONDITION...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name" >&2; fi
}
holds() { [ -f "$dir/$1" ] && [ "$(cat "$dir/$1")" = "$2" ]; }
gone() { [ ! -e "$dir/$1" ]; }

# case: what is in the folder before; the runs; what must hold after.
dir=$work/mine; mkdir -p "$dir"; echo user >"$dir/keep.txt"
run; run
check "a user's file beside two runs stays" holds keep.txt user
check "the second run's pictures are there" holds a.png new
check "the list names only the run's pictures" [ "$(cat "$dir/.zavelto-tour")" = $'a.png\nb.png' ]

dir=$work/taken; mkdir -p "$dir"; echo user >"$dir/b.png"
run; status=$?
check "a user's file of a picture's name is refused" [ "$status" = 1 ]
check "and kept" holds b.png user
check "the refusal names it" grep -q "b.png" "$work/said"

dir=$work/failure; mkdir -p "$dir"; echo user >"$dir/failed-line3.png"
run; status=$?
check "a user's file of a failure's name is refused" [ "$status" = 1 ]

dir=$work/default; mkdir -p "$dir"
for n in a.png b.png failed-line9.png; do echo old >"$dir/$n"; done; echo user >"$dir/notes.txt"
run
check "the default folder's old pictures are replaced" holds a.png new
check "its old failure picture is gone" gone failed-line9.png
check "its other files stay" holds notes.txt user

dir=$work/listed; mkdir -p "$dir" "$work/outside"; echo user >"$work/outside/x.png"; echo user >"$dir/y.png"
printf '../outside/x.png\n.\n..\ny.png\n' >"$dir/.zavelto-tour"
prepare
check "a listed name that leaves the folder is not followed" [ -f "$work/outside/x.png" ]
check "a listed name in the folder is the run's" gone y.png

dir=$work/new/deeper
run
check "a new folder is made and filled" holds a.png new

dir=$work/file; echo user >"$dir"
prepare; status=$?
check "a file given as the folder is refused" [ "$status" = 1 ]
check "and kept" [ "$(cat "$dir")" = user ]

# --- scripts/run.sh in a tree of its own: the scripts it sources, the tour above, and in
# build/release a service that says where it listens and waits to be stopped, and an application
# that notes its run and writes the tour's pictures, each holding the number of that run.
tree=$work/tree
mkdir -p "$tree/scripts" "$tree/app/runner" "$tree/build/release/service" "$tree/build/release/Zavelto.app"
cp "$src/scripts/run.sh" "$src/scripts/tour-pictures.sh" "$src/scripts/build-progress.sh" "$tree/scripts/"
cp "$work/tour.txt" "$tree/app/runner/tour.txt"
printf '%s\n' '#!/bin/sh' "echo \$\$ >'$tree/service.pid'" 'echo "listening on 127.0.0.1:1"' 'exec sleep 60' \
  >"$tree/build/release/service/zavelto-service"
# The application also notes the server it was given and whether its home was a first start's
# (empty), and leaves a file there as a run does.
printf '%s\n' '#!/bin/sh' \
  'while [ $# -gt 0 ]; do [ "$1" = --pictures ] && pictures=$2; [ "$1" = --server-root ] && root=$2; shift; done' \
  "echo ran >>'$tree/runs'" "echo \"\$root\" >>'$tree/roots'" \
  "if [ -z \"\$(ls -A \"\$ZVT_HOME\")\" ]; then echo fresh; else echo used; fi >>'$tree/homes'" \
  'mkdir -p "$ZVT_HOME/Documents" && echo left >"$ZVT_HOME/Documents/left-by-run"' \
  "for n in a.png b.png; do wc -l <'$tree/runs' | tr -d ' ' >\"\$pictures/\$n\"; done" \
  >"$tree/build/release/Zavelto.app/zavelto"
chmod +x "$tree/build/release/service/zavelto-service" "$tree/build/release/Zavelto.app/zavelto"
runs() { if [ -f "$tree/runs" ]; then wc -l <"$tree/runs" | tr -d ' '; else echo 0; fi; }
# run.sh headless, given from the work folder, building nothing; ZVT_PICTURES as given ("-": unset).
run_script() {
  local pictures=(ZVT_PICTURES="$1")
  [ "$1" = - ] && pictures=(-u ZVT_PICTURES)
  (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY "${pictures[@]}" ZVT_NO_BUILD=1 ZVT_PORT=1 \
    ZVT_DATA_DIR="$work/data" bash "$tree/scripts/run.sh") >"$work/said" 2>&1
}
# The service the last run started has gone with it (stopped here if not).
stopped() {
  local pid
  pid=$(cat "$tree/service.pid" 2>/dev/null) || return 0
  rm -f "$tree/service.pid"
  kill -0 "$pid" 2>/dev/null || return 0
  kill "$pid"
  return 1
}

dir=$work/shots; mkdir -p "$dir"; echo user >"$dir/keep.txt"
# An earlier service's first line, still in the file run.sh reads the new one's from (linked
# here, so that the test sees whether that file is written over in place).
mkdir -p "$tree/build"
echo "listening on 127.0.0.1:2" >"$tree/build/service.out"
ln "$tree/build/service.out" "$work/earlier-service.out"
run_script shots; first=$?
run_script shots; status=$?
check "run.sh: two runs end well" [ "$first$status" = 00 ]
check "run.sh: the application is given the new service's address" [ "$(cat "$tree/roots")" = $'http://127.0.0.1:1\nhttp://127.0.0.1:1' ]
# Were the old file emptied in place rather than replaced, a run reading it as the new service
# opens it could take the earlier line for the new one.
check "run.sh: the earlier service's line is never read as the new one's" \
  [ "$(cat "$work/earlier-service.out")" = "listening on 127.0.0.1:2" ]
check "run.sh: each tour is a first start, in an empty home" [ "$(cat "$tree/homes")" = $'fresh\nfresh' ]
check "run.sh: a relative folder is taken from where the command was given" holds a.png 2
check "run.sh: a user's file beside two runs stays" holds keep.txt user
check "run.sh: the list names only the run's pictures" [ "$(cat "$dir/.zavelto-tour")" = $'a.png\nb.png' ]
check "run.sh: the service stops with the run" stopped

dir=$work/claimed; mkdir -p "$dir"; echo user >"$dir/b.png"
before=$(runs)
run_script "$dir"; status=$?
check "run.sh: a user's file of a picture's name is refused" [ "$status" = 1 ]
check "run.sh: before the service or the application starts" [ "$(runs)" = "$before" ] && [ ! -e "$tree/service.pid" ]
check "run.sh: the file is kept" holds b.png user
check "run.sh: the refusal names it" grep -q "b.png" "$work/said"

dir=$tree/build/pictures; mkdir -p "$dir"
for n in a.png b.png failed-line9.png; do echo old >"$dir/$n"; done; echo user >"$dir/notes.txt"
run_script -
check "run.sh: the default folder's old pictures are replaced" holds a.png "$(runs)"
check "run.sh: its old failure picture is gone" gone failed-line9.png
check "run.sh: its other files stay" holds notes.txt user
check "run.sh: the service stops with that run too" stopped

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
