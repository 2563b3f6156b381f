#!/usr/bin/env bash
# quillex-cli's content commands and upload against standard tools doing the
# same work on the same generated program. Each pair runs in turns (ours,
# peer, ours, peer, ... QUILLEX_BENCH_PAIRS pairs, 5 by default) after one
# untimed run of each that warms the caches; the ratio is taken per pair and
# printed as min / median / max of the wall time and, beside it, of the CPU
# time, with the peak memory of the whole process. The verdict is the
# median's. The load average is printed with each figure.
# Usage: bench/bench-commands.sh BUILD SIZE_MIB [TABLE_FILE]
# TABLE_FILE, when given, gets one line per figure: name, MiB, median seconds,
# peak KiB.
# The simulated device listens on QUILLEX_BENCH_ADDRESS (a loopback address,
# a random one of 127.0.0.0/8 by default) and sends its status datagrams to
# QUILLEX_STATUS_PORT (9 by default), so that two people can run it at once.
set -euo pipefail
build=$(realpath "$1") mib=$2 table=${3:-/dev/null}
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${QUILLEX_GCODE_DATA:-$root/../shared/data/gcode}
pairs=${QUILLEX_BENCH_PAIRS:-5}
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

# run NAME COMMAND: runs the shell command with its output thrown away and
# appends "wall cpu peakKiB" to $work/NAME.
run() {
  local start end
  start=$EPOCHREALTIME
  /usr/bin/time -f '%U %S %M' -o "$work/time" bash -c "$2" >/dev/null 2>"$work/stderr" || {
    echo "failed: $2" >&2; cat "$work/stderr" >&2; exit 1; }
  end=$EPOCHREALTIME
  read -r user system peak <"$work/time"
  awk -v s="$start" -v e="$end" -v u="$user" -v y="$system" -v m="$peak" \
    'BEGIN { printf "%.4f %.2f %d\n", e - s, u + y, m }' >>"$work/$1"
}

# pair NAME OURS PEER TARGET [BASE_MIB PER_SIZE]: both shell commands once to
# warm the caches, then in turns; prints the ratios and, with a memory
# target, our peak against BASE_MIB + PER_SIZE x the program's size.
pair() {
  local name=$1 ours=$2 peer=$3 target=$4
  rm -f "$work/ours" "$work/peer"
  bash -c "$ours" >/dev/null 2>&1 || true
  bash -c "$peer" >/dev/null 2>&1 || true
  for _ in $(seq "$pairs"); do
    run ours "$ours"
    run peer "$peer"
  done
  paste "$work/ours" "$work/peer" | awk -v n="$name" -v t="$target" -v b="${5:-}" -v f="${6:-}" -v s="$size" \
    -v load="$(cut -d' ' -f1-3 /proc/loadavg)" -v table="$table" -v mib="$mib" '
    function sort(a, k,   i, j, x) {
      for (i = 2; i <= k; i++) { x = a[i]; for (j = i - 1; j >= 1 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x }
    }
    function median(a, k) { return (k % 2) ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2 }
    { k++; wall[k] = $1 / $4; cpu[k] = ($5 > 0) ? $2 / $5 : 0; ow[k] = $1; pw[k] = $4
      if ($3 > peak) peak = $3 }
    END {
      sort(wall, k); sort(cpu, k); sort(ow, k); sort(pw, k)
      verdict = (t <= 0) ? "information" : sprintf("target <= %.2f  %s", t, (median(wall, k) <= t) ? "PASS" : "FAIL")
      printf "%-34s wall %6.3f / %6.3f / %6.3f  cpu %6.3f / %6.3f / %6.3f  (median %.3f s / %.3f s, %d pairs, load %s)  %s\n",
        n, wall[1], median(wall, k), wall[k], cpu[1], median(cpu, k), cpu[k], median(ow, k), median(pw, k), k, load, verdict
      if (b != "") {
        limit = b + f * s / 1048576
        printf "%-34s %6.1f MiB  target <= %.1f MiB (%d MiB + %d x size)  %s\n", n " peak", peak / 1024, limit, b, f,
          (peak / 1024 <= limit) ? "PASS" : "FAIL"
      }
      if (table != "/dev/null") { tn = n; gsub(/[ \/()-]+/, "-", tn); printf "%s %s %.3f %d\n", tn, mib, median(ow, k), peak >> table }
    }'
}

# same WHAT FILE_OR_DIR FILE_OR_DIR: whether the peer wrote the same bytes.
same() {
  if diff -r "$2" "$3" >/dev/null; then
    echo "$1: the same bytes: yes"
  else
    echo "$1: the same bytes: NO (FAIL)"
  fi
}

echo "program: $size bytes ($mib MiB), $(wc -l <"$program") lines; ratios min / median / max over pairs in turns"

wordspaces=$root/bench/wordspaces.sed
sed_normalize="sed -E -f '$wordspaces' -f '$root/bench/normalize.sed' '$program'"
"$cli" normalize "$program" >"$work/ours.sent"
bash -c "$sed_normalize" >"$work/peer.sent"
same "normalize / sed" "$work/ours.sent" "$work/peer.sent"
pair normalize "'$cli' normalize '$program'" "$sed_normalize" 1.0 30 3

# The peer reads, word-spaces and matches the text as the scan does.
pair scan "'$cli' scan '$program'" \
  "sed -E -f '$wordspaces' '$program' | grep -P '^(?=.*\\bT\\d+\\b)(?=.*\\bM0*6\\b)'" 0.7 30 3

# split -d against the awk peer writing the same files (checked below) and
# making them durable the same way, one sync of the file system at the end:
# on the benchmark program, on 108 programs over the corpus and on 20,000
# short ones.
"$root/bench/make-programs.sh" "$corpus" 108 10000 "$work/108.nc"
"$root/bench/make-programs.sh" "$corpus" 20000 20 "$work/20000.nc"
for text in "$program" "$work/108.nc" "$work/20000.nc"; do
  # The client reads a text as UTF-8 when its first byte above 127 comes in
  # the first 16 KiB (the corpus's are well-formed), otherwise as Windows-1254,
  # and writes the files in Windows-1254: the peer converts the same way.
  decode=cat
  head -c 16384 "$text" | grep -qP '[\x80-\xFF]' && decode="iconv -f UTF-8 -t WINDOWS-1254"
  ours="rm -rf '$work/ours.d' && '$cli' split '$text' -d '$work/ours.d'"
  peer="rm -rf '$work/peer.d' && mkdir -p '$work/peer.d/Velcarn' && sed -E -f '$wordspaces' '$text' \
    | $decode | awk -v dir='$work/peer.d/Velcarn' -f '$root/bench/split.awk' && sync -f '$work/peer.d/Velcarn'"
  bash -c "$ours" >/dev/null
  bash -c "$peer"
  label="split -d $(ls "$work/ours.d/Velcarn" | wc -l) programs"
  same "$label / awk" "$work/ours.d" "$work/peer.d"
  pair "$label" "$ours" "$peer" 1.0
  rm -rf "$work/ours.d" "$work/peer.d"
done
rm -f "$work/108.nc" "$work/20000.nc"

# Upload to a simulated device of its own (instant erase) against compressing
# the same bytes in memory: deflate calls at the upload's level and window,
# with a full flush at each start-from point the upload sent (the device saves
# the payload and the points it received; the peer must write the same
# bytes); gzip -6 streaming the same bytes as information.
ip=${QUILLEX_BENCH_ADDRESS:-127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))}
"$devsim" --target "127.0.0.1:${QUILLEX_STATUS_PORT:-9}" \
  --device "ip=$ip,hw=HW4,erase=0,maxfilesize=1073741824,interval=60000,save=$work/received" >"$work/devsim.log" 2>&1 &
sim=$!
sleep 0.5
upload="'$cli' upload '$ip' '$program' --no-status --controller FANUC --hw HW4 --build 512 \
  --maxfilesize 1073741824 --progress none -q"
bash -c "$upload" >/dev/null
"$deflate" "$work/ours.sent" --flush "$work/received.index" -o "$work/peer.z"
same "upload / in-memory deflate ($(wc -l <"$work/received.index") start-from points)" "$work/received" "$work/peer.z"
pair "upload / in-memory deflate" "$upload" "'$deflate' '$work/ours.sent' --flush '$work/received.index'" 1.2 30 2
pair "upload / gzip -6 (information)" "$upload" "gzip -6 -c '$work/ours.sent'" 0
