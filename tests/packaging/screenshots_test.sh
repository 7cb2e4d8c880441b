#!/usr/bin/env bash
# The software catalogue's entry shows every picture of docs/screenshots and
# no other: a new screenshot is not forgotten, a removed one not left behind.
set -euo pipefail
metainfo="${1:?usage: screenshots_test.sh METAINFO SCREENSHOT_DIR}"
dir="${2:?}"
listed="$(sed -n 's#.*<image>.*/\([^/<]*\)</image>.*#\1#p' "$metainfo" | sort)"
present="$(cd "$dir" && printf '%s\n' *.png | sort)"
if [ "$listed" != "$present" ]; then
  echo "FAIL: the catalogue entry's screenshots differ from $dir:"
  diff <(echo "$listed") <(echo "$present")
  exit 1
fi
echo "the catalogue entry shows all $(wc -l <<<"$present") screenshots"
