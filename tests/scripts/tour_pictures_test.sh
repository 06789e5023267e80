#!/usr/bin/env bash
# The tour's pictures folder: a run replaces only the pictures earlier runs made and keeps every
# other file of the folder, which may be one of the user's own.
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

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
