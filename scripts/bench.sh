#!/usr/bin/env bash
# Prints every benchmark figure, each a ratio measured within one run.
set -euo pipefail
build=${1:-build}
echo "== content tools"
"$build/bench/quillex-bench-content"
echo
echo "== device link"
"$build/bench/quillex-bench-device" "$build/devsim/quillex-devsim"
echo
echo "== window"
"$build/bench/quillex-bench-window"
