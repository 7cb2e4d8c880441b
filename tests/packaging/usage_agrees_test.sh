#!/usr/bin/env bash
# trellium-cli's --help, its manual page and the README's table of commands
# list the same commands with the same synopses, the README's section on the
# companion names exactly the options --help names, and the page has an
# example for every command.
set -euo pipefail
cli="${1:?usage: usage_agrees_test.sh TRELLIUM_CLI PAGE README}"
page="${2:?}"
readme="${3:?}"
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

# The entries of one section, from the line HEADING to the next heading: the
# synopsis at INDENT spaces, up to the gap before the description.
entries() {
  local heading="$1" indent="$2"
  awk -v heading="$heading" -v indent="$indent" '
    $0 == heading { inside = 1; next }
    !inside || $0 == "" { next }
    { match($0, /^ */) }
    RLENGTH < indent { exit }
    RLENGTH == indent {
      entry = substr($0, indent + 1)
      sub(/  .*/, "", entry)
      print entry
    }'
}

help="$("$cli" --help)"
help_synopses="$(entries 'Commands:' 2 <<<"$help")"
[ -n "$help_synopses" ] || fail "--help lists no commands"

text="$(LC_ALL=C MANWIDTH=200 man -l "$page" 2>/dev/null)"
page_synopses="$(entries '   Commands:' 7 <<<"$text")"
[ "$help_synopses" = "$page_synopses" ] ||
  fail "the page's commands differ from --help's:$(diff <(echo "$help_synopses") <(echo "$page_synopses"))"

readme_synopses="$(sed -n 's/^| `trellium-cli \([^`]*\)`.*/\1/p' "$readme" | sed 's/\\|/|/g')"
[ "$help_synopses" = "$readme_synopses" ] ||
  fail "the README's commands differ from --help's:$(diff <(echo "$help_synopses") <(echo "$readme_synopses"))"

# Options: the README's companion section against --help's, the general ones
# (--help, --version) aside.
general="$(entries 'Options:' 2 <<<"$help" | grep -o -- '--[a-z-]*' | sort -u)"
help_options="$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u | comm -23 - <(echo "$general"))"
readme_options="$(awk '/^## The companion/ { inside = 1; next } inside && /^## / { exit } inside' \
  "$readme" | grep -o -- '--[a-z][a-z-]*' | sort -u | comm -23 - <(echo "$general"))"
[ "$help_options" = "$readme_options" ] ||
  fail "the README names other options than --help:$(diff <(echo "$help_options") <(echo "$readme_options"))"

examples="$(awk '/^EXAMPLES$/ { inside = 1; next } inside && /^[^ ]/ { exit } inside' <<<"$text")"
for command in $(cut -d' ' -f1 <<<"$help_synopses" | sort -u); do
  grep -q "trellium-cli $command\b" <<<"$examples" || fail "the page has no example of $command"
done

[ "$status" -eq 0 ] && echo "--help, the manual page and the README agree on $(wc -l <<<"$help_synopses") synopses"
exit "$status"
