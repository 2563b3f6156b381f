#!/usr/bin/env bash
# Writes a program of SIZE bytes that is mostly tool changes: a leading '%'
# and one program-number line, then "T<n> M6" and one move, over and over
# (about 100,000 tool changes a MiB), then M30 and the closing '%'. The same
# size always gives the same bytes.
# Usage: bench/make-toolchange-program.sh SIZE_BYTES OUT_FILE
set -euo pipefail
size=$1 out=$2
LC_ALL=C awk -v size="$size" 'BEGIN {
  printf "%%\nO2000\n"; total = 8
  for (i = 0; ; i++) {
    line = sprintf("T%d M6\nX%d\n", i % 99 + 1, i % 10)
    if (total + length(line) > size - 6) break
    printf "%s", line; total += length(line)
  }
  printf "M30\n%%\n"
}' >"$out"
