# Sourced by run.sh, test.sh and fuzz-replay.sh: build_quietly TREE [cmake --build arguments]
# builds a tree with one job per processor and shows its progress instead of every step's line:
# on a terminal one line that is rewritten as steps end, and that counts the seconds while the
# last steps run long (the Release tree's final links optimise across the libraries and take
# minutes on a busy machine); elsewhere (output to a file or a pipe) a line at every tenth of the
# steps, and one a minute while no step ends. Everything else, errors in full, as it comes. Its
# status is the build's. BUILD_SLOW_STEPS, when set, says what the slow last steps are.
build_quietly() {
  local tree=$1
  shift
  local cols status
  cols=$(tput cols 2>/dev/null || echo 80)
  cmake --build "$tree" -j "$(nproc)" "$@" 2>&1 | {
    local line chunk partial="" note started=$SECONDS quiet_since=$SECONDS next_report
    local done=0 total=0 tenth shown=0 waited
    next_report=$((SECONDS + 60))
    while :; do
      if IFS= read -r -t 1 chunk; then
        # Ninja prints a step's line when the step ends (not when it starts).
        line=$partial$chunk
        partial=""
        quiet_since=$SECONDS
        next_report=$((SECONDS + 60))
        case $line in
          \[[0-9]*/[0-9]*\]\ *)
            done=${line%%/*}; done=${done#[}; total=${line#*/}; total=${total%%]*}
            if [ -t 1 ]; then
              printf '\r\033[K%s' "${line:0:cols-1}"
            else
              tenth=$((done * 10 / total))
              if [ "$tenth" -gt "$shown" ]; then
                shown=$tenth
                printf 'build: %d%% (%d of %d steps, %d s)\n' $((tenth * 10)) "$done" "$total" $((SECONDS - started))
              fi
            fi ;;
          "ninja: no work to do."|"-- "*) ;;
          *) if [ -t 1 ]; then printf '\r\033[K'; fi; printf '%s\n' "$line" ;;
        esac
      elif [ $? -gt 128 ]; then
        # A second without a step ending (a line cut short by the time-out is kept).
        partial+=$chunk
        [ "$total" -gt 0 ] || continue
        waited=$((SECONDS - quiet_since))
        note="$((total - done)) step$([ $((total - done)) -eq 1 ] || echo s) left, none ended for ${waited} s${BUILD_SLOW_STEPS:+ (${BUILD_SLOW_STEPS})}"
        if [ -t 1 ] && [ "$waited" -ge 3 ]; then
          note="[$done/$total] $note"
          printf '\r\033[K%s' "${note:0:cols-1}"
        elif [ ! -t 1 ] && [ "$SECONDS" -ge "$next_report" ]; then
          next_report=$((SECONDS + 60))
          printf 'build: %d of %d steps, %s, %d s in all\n' "$done" "$total" "$note" $((SECONDS - started))
        fi
      else
        [ -z "$partial" ] || printf '%s\n' "$partial"
        break
      fi
    done
    if [ -t 1 ]; then printf '\r\033[K'; fi
  }
  status=${PIPESTATUS[0]}
  return "$status"
}
