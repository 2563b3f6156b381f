#!/usr/bin/env bash
# The interpreter's figures, each against a peer in the same run (best wall
# time of three, peak resident size of the whole process):
#   quillex-cli toolpath / rs274 -g FILE /dev/null   (target <= 0.05)
#   quillex-cli toolpath / quillex-cli scan          (target <= 3.0; tokenising is the floor)
#   peak memory of toolpath                          (target <= 30 MiB + 3 x file size)
#   growth 32 -> 256 MiB                             (target <= 9 x time)
#   window open, toolpath panel shown / hidden       (target <= 1.5)
#   redraw of the whole path after a turn            (min / median / max)
# on the program bench/make-toolpath-program.sh builds from the corpus.
# Usage: scripts/bench-toolpath.sh BUILD [--no-growth]
set -euo pipefail
build=$(realpath "${1:-build}")
growth=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${QUILLEX_GCODE_DATA:-$root/../shared/data/gcode}
cli=$build/bin/quillex-cli
work=$(mktemp -d /tmp/quillex-bench-toolpath.XXXXXX)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

best() {
  local -n seconds=$1 peak=$2
  shift 2
  seconds=999999 peak=0 runs=()
  for _ in 1 2 3; do
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
      echo "failed: $*" >&2; head -3 "$work/stderr" >&2; exit 1; }
    read -r s m <"$work/time"
    runs+=("$s")
    seconds=$(awk -v a="$s" -v b="$seconds" 'BEGIN { print (a < b) ? a : b }')
    peak=$((m > peak ? m : peak))
  done
}
runs=()

ratio() {
  awk -v n="$1" -v o="$2" -v p="$3" -v t="$4" 'BEGIN {
    r = (p > 0) ? o / p : 0
    printf "%-44s %7.3f  (%.3f s / %.3f s)  target <= %.2f  %s\n", n, r, o, p, t, (r <= t) ? "PASS" : "FAIL" }'
}

program=$work/program.nc
"$root/bench/make-toolpath-program.sh" "$corpus" $((32 * 1024 * 1024)) "$program"
size=$(stat -c %s "$program")
echo "program: $size bytes, $(wc -l <"$program") lines; load: $(cut -d' ' -f1-3 /proc/loadavg)"
"$cli" toolpath "$program" --json | grep -o '"moves":[0-9]*\|"stopped_line":[0-9]*'
best t_ours p_ours "$cli" toolpath "$program"
echo "toolpath seconds min/median/max: $(printf '%s\n' "${runs[@]}" | sort -g | tr '\n' ' ')"
best t_scan p_scan "$cli" scan "$program"
echo "scan seconds min/median/max: $(printf '%s\n' "${runs[@]}" | sort -g | tr '\n' ' ')"
if command -v rs274 >/dev/null; then
  # Every tool the programs ask for, of length and diameter zero, as the comparison takes them.
  for t in $(seq 1 999); do echo "T$t P$t Z0 D0 ;"; done >"$work/tools.tbl"
  best t_rs274 p_rs274 sh -c 'rs274 -t "$1" -g "$2" /dev/null; exit 0' rs274 "$work/tools.tbl" "$program"
  echo "rs274 seconds min/median/max: $(printf '%s\n' "${runs[@]}" | sort -g | tr '\n' ' ')"
  if grep -v '^executing$' "$work/stderr" | grep -q .; then
    echo "rs274 stopped early: $(grep -v '^executing$' "$work/stderr" | head -1)"
  fi
  ratio "toolpath / rs274 -g" "$t_ours" "$t_rs274" 0.05
else
  echo "toolpath / rs274 -g: rs274 missing (scripts/install-deps.sh installs it)"
fi
ratio "toolpath / scan" "$t_ours" "$t_scan" 3.0
awk -v k="$p_ours" -v s="$size" 'BEGIN { peak = k / 1024; limit = 30 + 3 * s / 1048576
  printf "%-44s %7.1f MiB  target <= %.1f MiB  %s\n", "toolpath peak", peak, limit, (peak <= limit) ? "PASS" : "FAIL" }'
# The window: opening it with the toolpath panel shown / hidden (target <= 1.5),
# and the redraw of the whole path after a turn of the view.
if [ -x "$build/bin/quillex-bench-toolpathview" ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$build/bin/quillex-bench-toolpathview" "$program"
fi
if [ "$growth" != "--no-growth" ]; then
  big=$work/program256.nc
  "$root/bench/make-toolpath-program.sh" "$corpus" $((256 * 1024 * 1024)) "$big"
  best t_big p_big "$cli" toolpath "$big"
  echo "toolpath 256 MiB seconds min/median/max: $(printf '%s\n' "${runs[@]}" | sort -g | tr '\n' ' ')"
  ratio "toolpath growth 32 -> 256 MiB (time x)" "$t_big" "$t_ours" 9.0
  rm -f "$big"
fi
