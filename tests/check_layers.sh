#!/usr/bin/env bash
# Folders include only downward: a file may include a header of its own
# folder or of a folder ranked below it, never one above or beside it, so no
# include cycle between folders can arise. Prints every include that breaks
# this and fails; run by `make test` through CTest.
set -euo pipefail
src="${1:?usage: check_layers.sh SRC_DIR}"

rank() {
  case "$1" in
    platform) echo 0 ;;
    base) echo 1 ;;
    serial | net | send | display | tools) echo 2 ;;
    remote) echo 3 ;;
    session) echo 4 ;;
    tools/ui) echo 5 ;;
    session/ui | display/ui | net/ui | send/ui) echo 6 ;;
    cli | controls) echo 7 ;;
    app) echo 8 ;;
    *) echo "" ;;
  esac
}

status=0
checked=0
cd "$src"
while IFS= read -r file; do
  from="$(dirname "${file#./}")"
  from_rank="$(rank "$from")"
  if [ -z "$from_rank" ]; then
    echo "$file: the folder '$from' has no place in the layers"
    status=1
    continue
  fi
  while IFS= read -r header; do
    to="$(dirname "$header")"
    [ "$to" = "." ] && continue
    [ "$to" = "$from" ] && continue
    to_rank="$(rank "$to")"
    checked=$((checked + 1))
    if [ -z "$to_rank" ] || [ "$to_rank" -ge "$from_rank" ]; then
      echo "$file includes $header: $to is not below $from"
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.cpp' -o -name '*.h' | sort)
[ "$status" -eq 0 ] && echo "layers: $checked includes across folders, all downward"
exit "$status"
