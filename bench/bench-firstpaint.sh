#!/usr/bin/env bash
# The real window, `quillex FILE`, from its start until the X server shows its
# first complete screen with the file, beside `vim FILE` in an xterm until its
# first screen, in turns (QUILLEX_BENCH_PAIRS pairs, 5 by default, after one
# untimed run of each that warms the caches). Both are read back from the
# server's pixels by quillex-bench-firstpaint. Run under an X server of its
# own: xvfb-run -a -s "-screen 0 1280x1024x24" bench/bench-firstpaint.sh BUILD FILE
set -euo pipefail
build=$(realpath "$1") file=$(realpath "$2")
pairs=${QUILLEX_BENCH_PAIRS:-5}
settle=2
work=$(mktemp -d /tmp/quillex-firstpaint.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime" "$work/home"
# A window of its own: no other instance to hand the file to, no update
# server, no keychain, the status port given or one of its own.
quillex=(env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" XDG_CONFIG_HOME="$work/home"
  QUILLEX_SETTINGS="$work/settings.ini" QUILLEX_NO_KEYCHAIN=1 QUILLEX_UPDATE_URL=https://127.0.0.1:9
  QUILLEX_STATUS_PORT="${QUILLEX_STATUS_PORT:-$((RANDOM % 20000 + 30000))}" "$build/bin/quillex" "$file")
vim=(env HOME="$work/home" xterm -geometry 150x45+0+0 -e vim "$file")
firstpaint=$build/bin/quillex-bench-firstpaint

"$firstpaint" "$settle" "${quillex[@]}" >/dev/null
"$firstpaint" "$settle" "${vim[@]}" >/dev/null
for _ in $(seq "$pairs"); do
  "$firstpaint" "$settle" "${quillex[@]}" >>"$work/ours"
  "$firstpaint" "$settle" "${vim[@]}" >>"$work/peer"
done
paste "$work/ours" "$work/peer" | awk -v load="$(cut -d' ' -f1-3 /proc/loadavg)" '
  function sort(a, k,   i, j, x) {
    for (i = 2; i <= k; i++) { x = a[i]; for (j = i - 1; j >= 1 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x }
  }
  function median(a, k) { return (k % 2) ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2 }
  { k++; r[k] = $1 / $2; o[k] = $1; p[k] = $2 }
  END {
    sort(r, k); sort(o, k); sort(p, k)
    printf "%-52s wall %6.3f / %6.3f / %6.3f  (%.3f s / %.3f s median, %d pairs, load %s)  goal <= 1.00  %s\n",
      "quillex FILE first screen / vim FILE in an xterm", r[1], median(r, k), r[k], median(o, k), median(p, k), k,
      load, (median(r, k) <= 1) ? "met" : "not met"
  }'
