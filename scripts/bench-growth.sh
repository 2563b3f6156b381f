#!/usr/bin/env bash
# The command and window benchmarks at 1, 32 and 256 MiB, then a table of time
# and peak memory per size and the growth from 32 to 256 MiB (at most 9 times
# the time for 8 times the data). Each size is measured in rounds
# (QUILLEX_GROWTH_ROUNDS, 2 by default), each figure's best time and largest
# peak kept, so that a noisy stretch on a shared machine does not decide the
# growth. The programs live in /tmp and are removed.
set -euo pipefail
build=${1:-build}
rounds=${QUILLEX_GROWTH_ROUNDS:-2}
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${QUILLEX_GCODE_DATA:-$root/../shared/data/gcode}
export QUILLEX_UPDATE_URL=https://127.0.0.1:9
work=$(mktemp -d /tmp/quillex-growth.XXXXXX)
trap 'rm -rf "$work"' EXIT
table=$work/table
for mib in 1 32 256; do
  for round in $(seq "$rounds"); do
    echo "== $mib MiB, round $round of $rounds"
    "$root/bench/bench-commands.sh" "$build" "$mib" "$table"
    "$root/bench/make-program.sh" "$corpus" $((mib * 1024 * 1024)) "$work/program.nc"
    /usr/bin/time -f '%e %M' -o "$work/window-time" xvfb-run -a -s "-screen 0 1280x1024x24" \
      env QT_QPA_PLATFORM=xcb "$build/bin/quillex-bench-window" "$work/program.nc" --open-only | tee "$work/window.out"
    open=$(sed -n 's|^window open until painted.*(\([0-9.]*\) s /.*|\1|p' "$work/window.out")
    peak=$(sed -n 's|^window peak memory opening it *\([0-9.]*\) MiB.*|\1|p' "$work/window.out" | awk '{ print $1 * 1024 }')
    echo "window-open $mib $open $peak" >>"$table"
    rm -f "$work/program.nc"
  done
done
echo
echo "== growth"
awk '{ k = $1 SUBSEP $2
  if (!(k in t) || $3 < t[k]) t[k] = $3
  if ($4 > m[k]) m[k] = $4
  if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 } }
END {
  printf "%-12s %22s %22s %22s %10s  %s\n", "figure", "1 MiB (s, MiB)", "32 MiB (s, MiB)", "256 MiB (s, MiB)", "256/32", "target <= 9"
  for (i = 1; i <= n; i++) {
    f = order[i]; g = (t[f, 32] > 0) ? t[f, 256] / t[f, 32] : 0
    printf "%-12s %12.3f %9.1f %12.3f %9.1f %12.3f %9.1f %10.2f  %s\n", f, t[f, 1], m[f, 1] / 1024, t[f, 32],
      m[f, 32] / 1024, t[f, 256], m[f, 256] / 1024, g, (g <= 9) ? "PASS" : "FAIL"
  }
}' "$table"
