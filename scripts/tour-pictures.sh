# The headless tour's pictures folder (sourced by scripts/run.sh). The folder may be one the user
# chose (ZVT_PICTURES), holding files of their own: a run deletes only pictures that an earlier run
# made there and never writes over a file it did not make.
#
# After a run, the names of the files it added are kept in the folder's .zavelto-tour; the next
# run deletes those files (and no others) before it starts. The default folder, build/pictures,
# which runs before that list existed emptied as a whole, counts as the runs' own: there the
# tour's picture names are deleted too.
#
#   tour_pictures_prepare DIR TOUR [DEFAULT]  create DIR, delete the last run's pictures; refuse
#                                             (status 1, saying why) when a picture the tour or a
#                                             failure writes is there and not the runs' own
#   tour_pictures_record DIR                  list what the run added in DIR/.zavelto-tour

tour_pictures_manifest=.zavelto-tour
tour_pictures_before=""

# The picture names the tour's `shot` steps write.
tour_pictures_names() {
  sed -n 's/^[[:space:]]*shot[[:space:]]\{1,\}\([^[:space:]]\{1,\}\).*/\1/p' "$1"
}

# The plain files directly in DIR, one name a line (the manifest left out).
tour_pictures_files() {
  find "$1" -mindepth 1 -maxdepth 1 \( -type f -o -type l \) ! -name "$tour_pictures_manifest" -printf '%f\n' | LC_ALL=C sort
}

tour_pictures_prepare() {
  local dir=$1 tour=$2 default=${3:-}
  if [ -e "$dir" ] && [ ! -d "$dir" ]; then
    echo "the pictures folder $dir is a file, not a folder: choose another with ZVT_PICTURES" >&2
    return 1
  fi
  mkdir -p "$dir" || return 1
  local name
  # The last run's own pictures, by the names it listed; a name that could reach outside the
  # folder is not ours to follow.
  if [ -f "$dir/$tour_pictures_manifest" ]; then
    while IFS= read -r name; do
      case $name in "" | . | .. | */* | "$tour_pictures_manifest") continue ;; esac
      rm -f -- "$dir/$name"
    done <"$dir/$tour_pictures_manifest"
    rm -f -- "$dir/$tour_pictures_manifest"
  elif [ -n "$default" ] && [ "$dir" -ef "$default" ]; then
    while IFS= read -r name; do
      case $name in "" | */*) continue ;; esac
      rm -f -- "$dir/$name"
    done < <(tour_pictures_names "$tour")
    rm -f -- "$dir"/failed-line*.png
  fi
  # What is left is the user's: the run must not write over it.
  local taken=()
  while IFS= read -r name; do
    [ -n "$name" ] && { [ -e "$dir/$name" ] || [ -L "$dir/$name" ]; } && taken+=("$name")
  done < <(tour_pictures_names "$tour")
  for name in "$dir"/failed-line*.png; do
    { [ -e "$name" ] || [ -L "$name" ]; } && taken+=("${name##*/}")
  done
  if [ ${#taken[@]} -gt 0 ]; then
    echo "the pictures folder $dir holds ${taken[*]}, which no earlier tour made there; the tour would write over them: choose a new or empty folder with ZVT_PICTURES, or move them" >&2
    return 1
  fi
  tour_pictures_before=$(tour_pictures_files "$dir")
}

tour_pictures_record() {
  local dir=$1
  LC_ALL=C comm -13 <(printf '%s\n' "$tour_pictures_before" | sed '/^$/d') <(tour_pictures_files "$dir") \
    >"$dir/$tour_pictures_manifest"
}
