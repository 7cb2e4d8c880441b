#!/usr/bin/env bash
# The bash completion of trellium-cli, sourced as bash-completion sources it
# and asked as bash asks it: commands, options, option values, CRC model
# names and session documents.
set -uo pipefail
script="${1:?usage: completion_test.sh COMPLETION_SCRIPT TRELLIUM_CLI_DIR}"
PATH="${2:?}:$PATH"
export LC_ALL=C
# shellcheck source=/dev/null
source "$script"
status=0

# The candidates, sorted, for a command line whose last word is completed.
candidates() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _trellium_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
}

expect() {
  local want="$1"
  shift
  local got
  got="$(candidates "$@")"
  if [ "$got" != "$want" ]; then
    echo "FAIL: '$*' completes to '$got', not '$want'"
    status=1
  fi
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir sessions
touch lab.trw modbus.trw notes.txt sessions/server.trw

expect 'convert crc' trellium-cli c
expect 'convert crc encode ports render resave run show' trellium-cli ''
expect '--help --version' trellium-cli --
expect 'CRC-16/MAXIM-DOW CRC-16/MODBUS' trellium-cli crc CRC-16/M
expect 'CRC-32/ISCSI CRC-32/ISO-HDLC' trellium-cli crc CRC-32/IS
expect '--list' trellium-cli crc --
expect '' trellium-cli crc CRC-16/MODBUS ''
expect 'hex mont text' trellium-cli render --mode ''
expect 'text' trellium-cli render --runs --mode t
expect '--lines --min-interval --mode --runs --stamps' trellium-cli render --
expect 'lab.trw modbus.trw sessions' trellium-cli show ''
expect 'sessions/server.trw' trellium-cli show sessions/
expect 'lab.trw' trellium-cli resave modbus.trw l
expect 'modbus.trw' trellium-cli run m
expect '--allow-auto-response-files' trellium-cli run lab.trw --al
expect '' trellium-cli run lab.trw --seconds ''
expect '' trellium-cli run lab.trw --timeout ''
expect '--expect' trellium-cli run lab.trw --e
expect 'notes.txt' trellium-cli run lab.trw --expect OK --report n
expect 'lab.trw modbus.trw notes.txt sessions' trellium-cli run lab.trw --capture ''
expect '' trellium-cli encode ''
expect '' trellium-cli nonsense ''

[ "$status" -eq 0 ] && echo "trellium-cli completes as expected"
exit "$status"
