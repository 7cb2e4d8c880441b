# Bash completion for trellium-cli.
#
# The commands, their options, the display modes and the CRC model names are
# read from the program itself (its --help and `crc --list`), so the
# completion offers what the installed program takes. The usage text lists
# entries as "  SYNOPSIS  description" in the sections "Commands:",
# "Options of COMMAND:" and "Options:".

# Prints the synopsis of every entry of one section of a usage text.
_trellium_cli_entries()
{
    local usage=$1 heading=$2 line in=0
    while IFS= read -r line; do
        if ((in)); then
            [[ -z $line ]] && return 0
            [[ $line == "  "[!\ ]* ]] || continue
            line=${line:2}
            printf '%s\n' "${line%%  *}"
        elif [[ $line == "$heading" ]]; then
            in=1
        fi
    done <<<"$usage"
}

# Sets COMPREPLY to the words that start with the current word, each once
# (crc has two synopses).
_trellium_cli_reply()
{
    mapfile -t COMPREPLY < <(compgen -W "$*" -- "$cur" | sort -u)
}

_trellium_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local cli=${COMP_WORDS[0]} command=${COMP_WORDS[1]} usage entry word
    local -a words candidates=()
    COMPREPLY=()
    usage=$("$cli" --help 2>/dev/null) || return 0

    if ((COMP_CWORD == 1)); then
        if [[ $cur == -* ]]; then
            while IFS= read -r entry; do
                read -ra words <<<"${entry//,/}"
                for word in "${words[@]}"; do
                    [[ $word == --* ]] && candidates+=("$word")
                done
            done < <(_trellium_cli_entries "$usage" 'Options:')
        else
            while IFS= read -r entry; do
                candidates+=("${entry%% *}")
            done < <(_trellium_cli_entries "$usage" 'Commands:')
        fi
        _trellium_cli_reply "${candidates[@]}"
        return 0
    fi

    # After an option that takes a value: its choices (a|b|c), a path, or
    # nothing to offer.
    while IFS= read -r entry; do
        read -ra words <<<"$entry"
        [[ ${words[0]} == "$prev" && ${#words[@]} -gt 1 ]] || continue
        case ${words[1]} in
            *"|"*) _trellium_cli_reply "${words[1]//|/ }" ;;
            PATH | FILE)
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                ;;
        esac
        return 0
    done < <(_trellium_cli_entries "$usage" "Options of $command:")

    # The command's options: those on its synopsis lines and in its section.
    if [[ $cur == -* ]]; then
        while IFS= read -r entry; do
            read -ra words <<<"$entry"
            [[ ${words[0]} == "$command" ]] || continue
            for word in "${words[@]:1}"; do
                [[ $word == --* ]] && candidates+=("$word")
            done
        done < <(_trellium_cli_entries "$usage" 'Commands:')
        while IFS= read -r entry; do
            candidates+=("${entry%% *}")
        done < <(_trellium_cli_entries "$usage" "Options of $command:")
        _trellium_cli_reply "${candidates[@]}"
        return 0
    fi

    case $command in
        crc)
            ((COMP_CWORD == 2)) || return 0
            while read -r entry _; do
                candidates+=("$entry")
            done < <("$cli" crc --list 2>/dev/null)
            _trellium_cli_reply "${candidates[@]}"
            ;;
        show | resave | run)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(
                compgen -f -X '!*.trw' -- "$cur"
                compgen -d -- "$cur"
            )
            ;;
    esac
    return 0
}

complete -F _trellium_cli trellium-cli
