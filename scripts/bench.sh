#!/usr/bin/env bash
# Prints every benchmark figure, each a ratio measured within one run.
set -euo pipefail
build=${1:-build}
# The window's start-up update check finds nothing listening instead of a real server.
export QUILLEX_UPDATE_URL=https://127.0.0.1:9
echo "== content tools"
"$build/bench/quillex-bench-content"
echo
echo "== device link"
"$build/bench/quillex-bench-device" "$build/devsim/quillex-devsim"
echo
echo "== window"
"$build/bench/quillex-bench-window"
