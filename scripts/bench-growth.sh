#!/usr/bin/env bash
# The command and window benchmarks at 1, 32 and 256 MiB, then a table of time
# and peak memory per size and the growth from 32 to 256 MiB (at most 9 times
# the time for 8 times the data). Then the window on programs of 1 and 4 MiB
# that are mostly tool changes (about 105,000 and 420,000): opening until
# painted on its own thread, and from the program's start to its first
# complete screen, at most 5 times the time for 4 times the rows. Each size is measured in rounds
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
toolchanges=$work/toolchanges
for mib in 1 4; do
  for round in $(seq "$rounds"); do
    echo "== tool changes, $mib MiB, round $round of $rounds"
    "$root/bench/make-toolchange-program.sh" $((mib * 1024 * 1024)) "$work/toolchanges.nc"
    echo "tool changes: $(grep -c 'M6' "$work/toolchanges.nc")"
    xvfb-run -a -s "-screen 0 1280x1024x24" \
      env QT_QPA_PLATFORM=xcb "$build/bin/quillex-bench-window" "$work/toolchanges.nc" --open-only | tee "$work/window.out"
    open=$(sed -n 's|^window open until painted.*(\([0-9.]*\) s /.*|\1|p' "$work/window.out")
    peak=$(sed -n 's|^window peak memory opening it *\([0-9.]*\) MiB.*|\1|p' "$work/window.out")
    echo "window-open $mib $open $peak" >>"$toolchanges"
    mkdir -p -m 700 "$work/runtime" "$work/home"
    first=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/quillex-bench-firstpaint" 2 \
      env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" XDG_CONFIG_HOME="$work/home" \
      QUILLEX_SETTINGS="$work/settings.ini" QUILLEX_NO_KEYCHAIN=1 QUILLEX_STATUS_PORT=$((RANDOM % 20000 + 30000)) \
      "$build/bin/quillex" "$work/toolchanges.nc")
    echo "first screen: $first s"
    echo "first-screen $mib $first 0" >>"$toolchanges"
    rm -f "$work/toolchanges.nc"
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
echo
echo "== tool changes (best of the rounds; load $(cut -d' ' -f1-3 /proc/loadavg))"
awk '{ k = $1 SUBSEP $2
  if (!(k in t) || $3 < t[k]) t[k] = $3
  if ($4 > m[k]) m[k] = $4
  if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 } }
END {
  printf "%-12s %22s %22s %10s  %s\n", "figure", "1 MiB (s, MiB)", "4 MiB (s, MiB)", "4/1", "target <= 5"
  for (i = 1; i <= n; i++) {
    f = order[i]; g = (t[f, 1] > 0) ? t[f, 4] / t[f, 1] : 0
    printf "%-12s %12.3f %9.1f %12.3f %9.1f %10.2f  %s\n", f, t[f, 1], m[f, 1], t[f, 4], m[f, 4], g,
      (g <= 5) ? "PASS" : "FAIL"
  }
}' "$toolchanges"
