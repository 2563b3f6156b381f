#!/usr/bin/env bash
# quillex-cli's content commands and upload against standard tools doing the
# same work on the same generated program, each pair timed in one run (best
# of three wall times) with the peak memory of the whole process.
# Usage: bench/bench-commands.sh BUILD SIZE_MIB [TABLE_FILE]
# TABLE_FILE, when given, gets one line per figure: name, MiB, seconds, peak KiB.
set -euo pipefail
build=$(realpath "$1") mib=$2 table=${3:-/dev/null}
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${QUILLEX_GCODE_DATA:-$root/../shared/data/gcode}
cli=$build/bin/quillex-cli devsim=$build/bin/quillex-devsim deflate=$build/bin/quillex-bench-deflate
export LC_ALL=C QUILLEX_SETTINGS QUILLEX_NO_KEYCHAIN=1
work=$(mktemp -d /tmp/quillex-bench.XXXXXX)
sim=
cleanup() { [ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 1' INT TERM
QUILLEX_SETTINGS=$work/settings.ini

program=$work/program.nc
"$root/bench/make-program.sh" "$corpus" $((mib * 1024 * 1024)) "$program"
size=$(stat -c %s "$program")

# best SECONDS_VAR PEAK_VAR COMMAND...: best wall time of three runs and the
# largest peak resident size (KiB) of any of them.
best() {
  local -n seconds=$1 peak=$2
  shift 2
  seconds=999999 peak=0
  for _ in 1 2 3; do
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
      echo "failed: $*" >&2; cat "$work/stderr" >&2; exit 1; }
    read -r s m <"$work/time"
    seconds=$(awk -v a="$s" -v b="$seconds" 'BEGIN { print (a < b) ? a : b }')
    peak=$((m > peak ? m : peak))
  done
}

# figure NAME OURS PEER TARGET [PEAK_KIB BASE_MIB PER_SIZE]
figure() {
  local name=$1 ours=$2 peer=$3 target=$4
  awk -v n="$name" -v o="$ours" -v p="$peer" -v t="$target" 'BEGIN {
    r = (p > 0) ? o / p : 0
    printf "%-44s %6.3f  (%.3f s / %.3f s)  target <= %.2f  %s\n", n, r, o, p, t, (r <= t) ? "PASS" : "FAIL" }'
  if [ $# -gt 4 ]; then
    awk -v n="$name" -v k="$5" -v b="$6" -v f="$7" -v s="$size" 'BEGIN {
      peak = k / 1024; limit = b + f * s / 1048576
      printf "%-44s %6.1f MiB  target <= %.1f MiB (%d MiB + %d x size)  %s\n", n " peak", peak, limit, b, f,
        (peak <= limit) ? "PASS" : "FAIL" }'
  fi
}

echo "program: $size bytes ($mib MiB), $(wc -l <"$program") lines"

best t_norm p_norm "$cli" normalize "$program"
best t_sed p_sed sed -E -f "$root/bench/wordspaces.sed" -f "$root/bench/normalize.sed" "$program"
"$cli" normalize "$program" >"$work/ours.sent"
sed -E -f "$root/bench/wordspaces.sed" -f "$root/bench/normalize.sed" "$program" >"$work/peer.sent"
cmp -s "$work/ours.sent" "$work/peer.sent" && same=yes || same=no
echo "normalize: sed writes the same bytes: $same"
figure "normalize / sed" "$t_norm" "$t_sed" 1.0 "$p_norm" 30 3
echo "normalize $mib $t_norm $p_norm" >>"$table"

# The peer reads, word-spaces and matches the text as the scan does.
best t_scan p_scan "$cli" scan "$program"
best t_grep p_grep sh -c "sed -E -f '$root/bench/wordspaces.sed' '$program' \
  | grep -P '^(?=.*\\bT\\d+\\b)(?=.*\\bM0*6\\b)'"
figure "scan / sed + grep -P" "$t_scan" "$t_grep" 0.7 "$p_scan" 30 3
echo "scan $mib $t_scan $p_scan" >>"$table"

best t_split p_split sh -c "rm -rf '$work/ours' && exec '$cli' split '$program' -d '$work/ours'"
best t_awk p_awk sh -c "rm -rf '$work/peer' && mkdir -p '$work/peer/Velcarn' && sed -E -f '$root/bench/wordspaces.sed' \
  '$program' | awk -v dir='$work/peer/Velcarn' -f '$root/bench/split.awk'"
diff -r "$work/ours" "$work/peer" >/dev/null && same=yes || same=no
echo "split -d: awk writes the same files: $same"
figure "split -d / awk" "$t_split" "$t_awk" 1.0
echo "split-d $mib $t_split $p_split" >>"$table"

# Upload to a simulated device of its own (instant erase) against compressing
# the same bytes alone at the same level.
ip="127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))"
"$devsim" --target "127.0.0.1:9" --device "ip=$ip,hw=HW4,erase=0,maxfilesize=1073741824,interval=60000" \
  >"$work/devsim.log" 2>&1 &
sim=$!
sleep 0.5
best t_up p_up "$cli" upload "$ip" "$program" --no-status --controller FANUC --hw HW4 --build 512 \
  --maxfilesize 1073741824 --progress none -q
best t_zip p_zip "$deflate" "$work/ours.sent"
figure "upload / zlib compression alone" "$t_up" "$t_zip" 1.3 "$p_up" 30 3
echo "upload $mib $t_up $p_up" >>"$table"
