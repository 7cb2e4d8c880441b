#!/usr/bin/env bash
# The manual pages render without a warning from man and carry what a reader
# looks for: a name line of their own, how to call the program, what it
# answers, what it reads from the environment and the disk, and examples.
set -euo pipefail
dir="${1:?usage: man_pages_test.sh MAN1_DIR}"
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

for page in trellium trellium-cli; do
  file="$dir/$page.1.gz"
  if [ ! -f "$file" ]; then
    fail "$file is missing"
    continue
  fi
  warnings="$(LC_ALL=C MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "$page(1): man warns: $warnings"
  text="$(LC_ALL=C MANWIDTH=80 man -l "$file" 2>/dev/null)"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' ENVIRONMENT FILES EXAMPLES \
    'SEE ALSO'; do
    grep -qx "$section" <<<"$text" || fail "$page(1) has no section $section"
  done
  # shellcheck disable=SC2088 # the pages name the files as a user writes them
  for mention in TRELLIUM_PORTS TRELLIUM_LISTEN_ADDRESS '~/.config/Brackwater/Trellium.ini' \
    '~/.local/share/Trellium/trellium.ws9'; do
    grep -qF -- "$mention" <<<"$text" || fail "$page(1) does not mention $mention"
  done
  if grep -q 'manual page for' <<<"$text"; then
    fail "$page(1) has help2man's stand-in name line"
  fi
done
[ "$status" -eq 0 ] && echo "both manual pages render cleanly and are complete"
exit "$status"
