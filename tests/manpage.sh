#!/usr/bin/env bash
# The man page quillex-cli(1), made from the program's own table: it renders
# without warnings, describes every command with the options its --help names,
# the exit codes and JSON codes in sections of their own, each environment
# variable once, the PIN order, the files and examples.
set -euo pipefail
cli=$1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
page=$("$cli" --print-man-page)
warnings=$(groff -man -Tutf8 -ww -z <<<"$page" 2>&1) || true
[ -z "$warnings" ] || fail "groff warnings: $warnings"
for section in OPTIONS COMMANDS "TRANSFER PIN" "EXIT STATUS" "JSON RESULT CODES" ENVIRONMENT FILES EXAMPLES; do
    grep -qx ".SH $section" <<<"$page" || fail "no section $section"
done
for variable in QUILLEX_PIN QUILLEX_SETTINGS QUILLEX_STATUS_PORT QUILLEX_STATUS_KEY; do
    [ "$(grep -c "^\.B $variable\$" <<<"$page")" -eq 1 ] || fail "$variable not described exactly once"
done
for code in usage pin_refused connect_failed device_not_found verify_failed; do
    grep -qx "\.B $code" <<<"$page" || fail "JSON code $code not described"
done
for text in history.sqlite pin-master.key /etc/xdg/quillex/quillex_settings.ini; do
    grep -qF "$(sed 's/-/\\-/g' <<<"$text")" <<<"$page" || fail "file $text not named"
done
grep -q 'pin\\-file, or QUILLEX_PIN\|\\-\\-pin, \\-\\-pin\\-file or QUILLEX_PIN' <<<"$page" || fail "no PIN order"
commands=$("$cli" --help | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p')
for command in $commands; do
    grep -q "^\.SS $command\b" <<<"$page" || fail "command $command not described"
    for option in $("$cli" "$command" --help | sed -n '1,3s/^.*quillex-cli [a-z]*//p' | grep -o -- ' -[-a-z]*' || true); do
        grep -q "^\.B $(sed 's/-/\\\\-/g' <<<"$option")\b" <<<"$page" ||
            fail "$command: option $option not described"
    done
done
[ "$failures" -eq 0 ] && echo "man page checks passed"
