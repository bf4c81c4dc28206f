#!/usr/bin/env bash
# Each folder of src/ is a floor that includes only the floors below it:
# a lower floor never includes a higher one.
set -euo pipefail
SRC="$1/src"
allowed() { # floor -> the floors it may include
  case "$1" in
    link) echo "link" ;;
    judging) echo "judging" ;;
    statistics) echo "statistics" ;;
    records) echo "records judging link" ;;
    plant) echo "plant records judging link statistics" ;;
    station) echo "station plant records judging link statistics" ;;
    page) echo "page station plant records judging link statistics" ;;
    plot) echo "plot" ;;
    printing) echo "printing" ;;
    recorder) echo "recorder page printing station plant records judging link plot statistics" ;;
    shell) echo "shell recorder page printing station plant records judging link plot statistics" ;;
    *) echo "" ;;
  esac
}
bad=0
for dir in "$SRC"/*/; do
  floor=$(basename "$dir")
  ok=$(allowed "$floor")
  [ -n "$ok" ] || { echo "src/$floor is no known floor"; bad=1; continue; }
  while IFS= read -r line; do
    file=${line%%:*}
    inc=$(sed -n 's/.*#include "\([a-z_]*\)\/.*/\1/p' <<<"$line")
    [ -z "$inc" ] && continue
    if ! grep -qw "$inc" <<<"$ok"; then
      echo "${file#$1/} includes $inc/, a floor above src/$floor"; bad=1
    fi
  done < <(grep -H '#include "' "$dir"*.h "$dir"*.cpp 2>/dev/null || true)
done
[ "$bad" = 0 ] && echo "every floor includes only the floors below it"
exit "$bad"
