#!/usr/bin/env bash
# Writes one large single program made of the corpus programs: a leading '%'
# and one program-number line, then the corpus lines in path order (without
# their own '%' and program-number lines, blank lines, or carriage returns)
# repeated until the size, then the closing '%'. The same size always gives
# the same bytes.
# Usage: bench/make-program.sh CORPUS_DIR SIZE_BYTES OUT_FILE
set -euo pipefail
corpus=$1 size=$2 out=$3
if [ ! -d "$corpus" ] || [ -z "$(find "$corpus" -type f ! -name '*.md' -print -quit)" ]; then
  echo "make-program: no G-code corpus at $corpus (the benchmarks need ../shared/data/gcode/)" >&2
  exit 1
fi
export LC_ALL=C
unit=$(mktemp)
trap 'rm -f "$unit"' EXIT
find "$corpus" -type f ! -name '*.md' -print0 | sort -z | xargs -0 cat | tr -d '\r' \
  | awk '{ t = $0; sub(/^[ \t]+/, "", t); sub(/[ \t]+$/, "", t) }
         t == "" || t == "%" || t ~ /^[O:][0-9]/ { next }
         { print }' > "$unit"
awk -v size="$size" -v unit="$unit" 'BEGIN {
  printf "%%\nO1000\n"; total = 8
  while (1) {
    while ((getline line < unit) > 0) {
      if (total + length(line) + 1 > size - 2) { printf "%%\n"; exit }
      print line; total += length(line) + 1
    }
    close(unit)
  }
}' > "$out"
