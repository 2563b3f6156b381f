#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each, seeded with the repository's fixtures.
# Fails on the first crash, leak or sanitizer report.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for target in fuzz_cmt fuzz_tokenizer fuzz_textdocument fuzz_scanner fuzz_splitter fuzz_textsearch fuzz_editortext \
  fuzz_normalizer; do
  corpus="$work/$target"
  mkdir -p "$corpus"
  cp "$root"/tests/fixtures/text/* "$root"/tests/fixtures/cmt/* "$corpus"/ 2>/dev/null || true
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 \
        -artifact_prefix="$work/" "$corpus" >"$work/$target.log" 2>&1; then
    echo "FUZZ FAILURE in $target:" >&2
    tail -n 40 "$work/$target.log" >&2
    mkdir -p "$root/fuzz-artifacts" && cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$root/fuzz-artifacts/" 2>/dev/null || true
    exit 1
  fi
  echo "fuzz $target: $(grep -Eo 'Done [0-9]+ runs' "$work/$target.log" || echo ok) in ${seconds}s"
done
