#!/usr/bin/env bash
# Includes point downward only:
#   platform/   -> platform/
#   foundation/ -> platform/, foundation/
#   app/ (but app/screens) and ui/ -> everything below them, never each other
#   app/runner  -> app/ and ui/ too (the executable puts the two together)
#   app/screens -> everything but service/
#   push/, analytics/ -> platform/, foundation/ (they stand on no application code)
#   service/    -> nothing of the project (an independent peer)
set -u
root=${1:-.}
cd "$root" || exit 2
fail=0
check() { # check <folder> <forbidden-regex> [exclude-folder]
  local dir=$1 re=$2 exclude=${3:-}
  [ -d "$dir" ] || return 0
  local hits
  if [ -n "$exclude" ]; then
    hits=$(grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.c' \
      "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($re)/" "$dir" | grep -v "^$exclude/" || true)
  else
    hits=$(grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.c' \
      "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($re)/" "$dir" || true)
  fi
  if [ -n "$hits" ]; then
    echo "layering violation in $dir:"; echo "$hits"; fail=1
  fi
}
check platform   'foundation|app|ui|push|analytics|service'
check foundation 'app|ui|push|analytics|service'
check app        'ui|service' '\(app/screens\|app/runner\)'
check app/runner 'service'
check ui         'app|push|analytics|service'
check app/screens 'service'
check push       'app|ui|analytics|service'
check analytics  'app|ui|push|service'
check service    'platform|foundation|app|ui|push|analytics'
if [ $fail -ne 0 ]; then exit 1; fi
echo "layering: all includes point downward"
