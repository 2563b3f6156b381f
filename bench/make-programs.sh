#!/usr/bin/env bash
# Writes one text of COUNT programs made of the corpus: a leading '%', then
# program after program, each a start line and the next LINES corpus lines
# (in path order, without their '%' and program-number lines, blank lines or
# carriage returns, taken round again at the end), then the closing '%'.
# The start lines are of every kind the splitter meets: "O<number>",
# ":<number>", a comment holding characters no file name may hold and a tab,
# and every seventh program one name again in either letter case, so that
# the file names need " (2)", " (3)", ... The same arguments always give
# the same bytes.
# Usage: bench/make-programs.sh CORPUS_DIR COUNT LINES OUT_FILE
set -euo pipefail
corpus=$1 count=$2 lines=$3 out=$4
if [ ! -d "$corpus" ] || [ -z "$(find "$corpus" -type f ! -name '*.md' -print -quit)" ]; then
  echo "make-programs: no G-code corpus at $corpus (the benchmarks need ../shared/data/gcode/)" >&2
  exit 1
fi
export LC_ALL=C
unit=$(mktemp)
trap 'rm -f "$unit"' EXIT
find "$corpus" -type f ! -name '*.md' -print0 | sort -z | xargs -0 cat | tr -d '\r' \
  | awk '{ t = $0; sub(/^[ \t]+/, "", t); sub(/[ \t]+$/, "", t) }
         t == "" || t == "%" || t ~ /^[O:]/ { next }
         { print }' > "$unit"
awk -v count="$count" -v lines="$lines" -v unit="$unit" '
function next_line(   line) {
  if ((getline line < unit) <= 0) { close(unit); getline line < unit }
  return line
}
BEGIN {
  print "%"
  for (p = 1; p <= count; p++) {
    if (p % 7 == 0) printf "O0001 (%s)\n", (p % 2) ? "again" : "AGAIN"
    else if (p % 5 == 0) printf ":%04d\n", p
    else if (p % 3 == 0) printf "O%04d (PART/%d <A>\t\"B\")\n", p, p
    else printf "O%04d\n", p
    for (i = 0; i < lines; i++) print next_line()
  }
  print "%"
}' > "$out"
