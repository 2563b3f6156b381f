#!/usr/bin/env bash
# The bash completion of quillex-cli offers every command its --help lists,
# the global options, and each command's own options.
set -euo pipefail
cli=$1
completion=$2
source /usr/share/bash-completion/bash_completion
source "$completion"
failures=0

complete_line() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _quillex_cli quillex-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

expect() {
    local what=$1 got=$2 want=$3
    if [ "$got" != "$want" ]; then
        echo "FAIL: $what: got '$got', expected '$want'" >&2
        failures=$((failures + 1))
    fi
}

commands=$("$cli" --help | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p' | sort | tr '\n' ' ')
[ -n "$commands" ] || { echo "FAIL: no commands in quillex-cli --help" >&2; exit 1; }
expect "commands" "$(complete_line quillex-cli '')" "$commands"
expect "commands after global options" "$(complete_line quillex-cli --pin 1234 --settings s.ini '')" "$commands"
expect "global options" "$(complete_line quillex-cli --)" "--help --pin --settings --version "
expect "commands starting with s" "$(complete_line quillex-cli s)" "scan send split startfrom status "
expect "upload options" "$(complete_line quillex-cli upload 192.168.1.20 --)" "--help --raw --verify "
expect "verify options" "$(complete_line quillex-cli verify 192.168.1.20 a.nc --)" "--controller --help --raw "
expect "devices options" "$(complete_line quillex-cli devices --)" "--help --json --listen "
expect "scan options" "$(complete_line quillex-cli scan a.nc --)" "--candidates --help --siemens "
expect "cmt options" "$(complete_line quillex-cli cmt a.cmt -)" "--extract --help -o "
expect "no value offered for --pin" "$(complete_line quillex-cli --pin '')" ""

# Every option a command's --help names is offered for that command.
for command in $commands; do
    offered=$(complete_line quillex-cli "$command" -)
    for option in $("$cli" "$command" --help | sed -n '1s/^Usage://p' | grep -o -- ' -[-a-z]*' || true); do
        [[ " $offered" == *" $option "* ]] || { echo "FAIL: $command: $option not offered ($offered)" >&2; failures=$((failures + 1)); }
    done
done

[ "$failures" -eq 0 ] && echo "completion checks passed"
exit "$failures"
