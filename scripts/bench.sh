#!/usr/bin/env bash
# Prints every benchmark figure, each a ratio measured within one run.
set -euo pipefail
build=${1:-build}
echo "== content tools"
"$build/bin/quillex-bench-content"
echo
echo "== device link"
"$build/bin/quillex-bench-device" "$build/bin/quillex-devsim"
echo
echo "== window"
"$build/bin/quillex-bench-window"
