#!/usr/bin/env bash
# Writes one large program for the interpreter benchmark: the corpus programs
# that quillex-cli and rs274 both run to their end (tests/fixtures/toolpath/
# corpus-files.txt), without their '%', program-number and program-end lines,
# each followed by a block cancelling compensation, cycles and offsets,
# repeated in that order until the size, then M30. The same size always gives
# the same bytes.
# Usage: bench/make-toolpath-program.sh CORPUS_DIR SIZE_BYTES OUT_FILE
set -euo pipefail
corpus=$1 size=$2 out=$3
root=$(cd "$(dirname "$0")/.." && pwd)
export LC_ALL=C
unit=$(mktemp)
trap 'rm -f "$unit"' EXIT
grep -v '^#' "$root/tests/fixtures/toolpath/corpus-files.txt" | grep . | while IFS= read -r name; do
  tr -d '\r' <"$corpus/$name"
  # What one program leaves on must not carry into the next one.
  printf '\nG40 G49 G80 G90 G17 G94 G92.1\n'
done | awk '{ t = toupper($0); sub(/^[ \t]+/, "", t); sub(/[ \t]+$/, "", t) }
         t == "" || t == "%" || t ~ /^[O:][0-9]/ || t ~ /(^|[^A-Z])M0*(2|30)([^0-9]|$)/ { next }
         { print }' >"$unit"
[ -s "$unit" ] || { echo "make-toolpath-program: no corpus at $corpus" >&2; exit 1; }
awk -v size="$size" -v unit="$unit" 'BEGIN {
  total = 4
  while (1) {
    while ((getline line < unit) > 0) {
      if (total + length(line) + 1 > size) { printf "M30\n"; exit }
      print line; total += length(line) + 1
    }
    close(unit)
  }
}' >"$out"
