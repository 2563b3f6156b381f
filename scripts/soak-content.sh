#!/bin/sh
# The content commands on hostile files too large for `make test`: one line
# without a break, odd-length UTF-16LE with millions of tool changes, a CMT
# file with hundreds of thousands of programs, a hex dump of the largest.
# Each must stay within its bound of peak memory (30 MiB + 3 × the file, the
# hex dump 30 MiB + 1 × the file) and end with exit 0; under a memory limit a
# command ends with a message (exit 1), never with a signal.
#
#   scripts/soak-content.sh BUILD [MiB]     (MiB: the files' size, default 100)
set -eu
BUILD=${1:-build}
MIB=${2:-100}
CLI="$BUILD/bin/quillex-cli"
[ -x "$CLI" ] || CLI=$(find "$BUILD" -name quillex-cli -type f -perm -u+x | head -n 1)
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
BYTES=$((MIB * 1024 * 1024))

yes 'G1 X1.5 Y2 Z3' | tr -d '\n' | head -c "$BYTES" >"$DIR/one-line.nc"
yes 'T1 M6 G1 X1' | tr -d '\n' | head -c "$BYTES" >"$DIR/one-line-tool-change.nc"
{ printf '%%\nO1000\n'; yes 'T12 M6
G0 X1 Y2' | head -n $((BYTES / 8)); } | head -c "$BYTES" >"$DIR/tool-changes.nc"
{ printf '%%\r\nO1000\r\n'; yes 'T12 M6
G0 X1 Y2' | head -n $((BYTES / 16)); } | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE | head -c $((BYTES - 1)) >"$DIR/utf16-odd.nc"
# Programs of three blocks each: 1100 (work number, description), 1500, 1200.
awk -v bytes="$BYTES" 'BEGIN {
    for (i = 0; i < 256; i++) ord[sprintf("%c", i)] = i
    stx = sprintf("%c", 2); etx = sprintf("%c", 3); eot = sprintf("%c", 4)
    printf "%s", frame("3117x")
    for (n = 0; size < bytes; n++) {
        f = frame(sprintf("1100          %08d    0850PART", n % 100000000)) frame("1500") frame("1200")
        printf "%s", f
        size += length(f)
    }
}
function frame(p,   s, i) {
    s = 0
    for (i = 1; i <= length(p); i++) s += ord[substr(p, i, 1)]
    return stx p etx sprintf("%02X", s % 256) eot
}' >"$DIR/many-programs.cmt"

failed=0
printf '%-34s %10s %12s %12s %s\n' case seconds "peak MiB" "bound MiB" outcome
run() { # name bound-factor verb file [args]
    name=$1 factor=$2
    shift 2
    size=$(stat -c %s "$2")
    bound=$((30 + factor * size / 1048576))
    set +e
    /usr/bin/time -f '%e %M' -o "$DIR/time" "$CLI" "$@" >/dev/null 2>"$DIR/err"
    rc=$?
    set -e
    read -r seconds kib <"$DIR/time" || true
    peak=$((kib / 1024))
    outcome="exit $rc"
    if [ "$rc" -ne 0 ] || [ "$peak" -gt "$bound" ]; then
        outcome="$outcome: OUT OF BOUND $(head -c 200 "$DIR/err")"
        failed=1
    fi
    printf '%-34s %10s %12s %12s %s\n' "$name" "$seconds" "$peak" "$bound" "$outcome"
}
run "scan, one line" 3 scan "$DIR/one-line.nc"
run "scan, one line of tool changes" 3 scan "$DIR/one-line-tool-change.nc"
run "scan, lines of tool changes" 3 scan "$DIR/tool-changes.nc"
run "scan, odd-length UTF-16LE" 3 scan "$DIR/utf16-odd.nc"
run "normalize, odd-length UTF-16LE" 3 normalize "$DIR/utf16-odd.nc"
run "cmt, many programs" 3 cmt "$DIR/many-programs.cmt"
run "hexdump" 1 hexdump "$DIR/utf16-odd.nc"

# Under a limit of address space the command ends with a message, not a signal.
set +e
(ulimit -v 409600 && "$CLI" scan "$DIR/utf16-odd.nc" >/dev/null 2>"$DIR/err")
rc=$?
set -e
if [ "$rc" -ge 128 ]; then
    echo "scan under a 400 MiB limit: killed by signal $((rc - 128)): $(head -c 200 "$DIR/err")"
    failed=1
else
    echo "scan under a 400 MiB limit: exit $rc $(head -c 200 "$DIR/err")"
fi
exit $failed
