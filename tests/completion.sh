#!/usr/bin/env bash
# The bash completion of quillex-cli, made from the program's own table of
# verbs and options: a table of command lines and what completes them, and
# every option a command's --help names offered for that command.
set -euo pipefail
cli=$1
completion=$2
source /usr/share/bash-completion/bash_completion
source "$completion"
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch a.nc b.txt
mkdir progs

# The completions of a command line whose last word is being typed, sorted.
complete_line() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _quillex_cli quillex-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

commands=$("$cli" --help | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p' | sort | tr '\n' ' ')
[ -n "$commands" ] || { echo "FAIL: no commands in quillex-cli --help" >&2; exit 1; }
global="--help --json --no-status --pin --pin-file --pin-required --progress --quiet --save-pin --settings --version"
with() { printf '%s\n' $global "$@" | sort | tr '\n' ' '; }

# what | the command line, its last word being completed (| separates words) | expected
cases=(
    "commands|quillex-cli||$commands"
    "commands after global options and their values|quillex-cli|--pin|1234|--settings|s.ini||$commands"
    "the command after --progress's value|quillex-cli|--progress|lines||$commands"
    "the command after --pin-file's value|quillex-cli|--pin-file|pin.txt||$commands"
    "the command after flags|quillex-cli|--json|-q||$commands"
    "global options|quillex-cli|--|$(with)"
    "commands starting with s|quillex-cli|s|scan send split startfrom status "
    "upload options|quillex-cli|upload|192.168.1.20|--|$(with --build --controller --hw --maxfilesize --raw --verify)"
    "verify options|quillex-cli|verify|192.168.1.20|a.nc|--|$(with --controller --raw)"
    "devices options|quillex-cli|devices|--|$(with --listen)"
    "devices after global options|quillex-cli|--json|--progress|none|devices|--|$(with --listen)"
    "scan options|quillex-cli|scan|a.nc|--|$(with --candidates --siemens)"
    "cmt options|quillex-cli|cmt|a.cmt|-|$(with --extract -o)"
    "history options|quillex-cli|history|--|$(with --csv --device --limit --since --workstation)"
    "no options of other commands|quillex-cli|index|192.168.1.20|--|$(with)"
    "no value offered for --pin|quillex-cli|--pin||"
    "no value offered for --listen|quillex-cli|devices|--listen||"
    "--progress values|quillex-cli|--progress||auto bar lines none "
    "--progress values after the command|quillex-cli|upload|--progress|b|bar "
    "--pin-file takes a file|quillex-cli|--pin-file||a.nc b.txt progs "
    "--settings takes a file|quillex-cli|--settings|b|b.txt "
    "-o takes a file|quillex-cli|download|192.168.1.20|-o|a|a.nc "
    "-d takes a folder|quillex-cli|split|a.nc|-d||progs "
    "a program file|quillex-cli|upload|192.168.1.20|a|a.nc "
    "no file for index|quillex-cli|index||"
)
for case in "${cases[@]}"; do
    IFS='|' read -r -a fields <<<"$case|"
    what=${fields[0]}
    expected=${fields[${#fields[@]} - 1]}
    words=("${fields[@]:1:${#fields[@]}-2}")
    got=$(complete_line "${words[@]}")
    if [ "$got" != "$expected" ]; then
        echo "FAIL: $what (${words[*]}): got '$got', expected '$expected'" >&2
        failures=$((failures + 1))
    fi
done

# Every option a command's --help names is offered for that command.
for command in $commands; do
    offered=$(complete_line quillex-cli "$command" -)
    for option in $("$cli" "$command" --help | sed -n '1,3s/^.*quillex-cli [a-z]*//p' | grep -o -- ' -[-a-z]*' || true); do
        [[ " $offered" == *" $option "* ]] || { echo "FAIL: $command: $option not offered ($offered)" >&2; failures=$((failures + 1)); }
    done
done

[ "$failures" -eq 0 ] && echo "completion checks passed (${#cases[@]} command lines)"
