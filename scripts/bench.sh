#!/usr/bin/env bash
# Prints every benchmark figure, each a ratio measured within one run.
set -euo pipefail
build=${1:-build}
# The window's start-up update check finds nothing listening instead of a real server.
export QUILLEX_UPDATE_URL=https://127.0.0.1:9
echo "== content tools"
"$build/bin/quillex-bench-content"
echo
echo "== device link"
"$build/bin/quillex-bench-device" "$build/bin/quillex-devsim"
echo
echo "== window"
"$build/bin/quillex-bench-window"
echo
echo "== transfer history"
"$build/bin/quillex-bench-history"
echo
echo "== window with 1000 devices reporting (own X server, xcb)"
# The window's whole CPU, its status log attached: hidden as it starts, and shown.
for log in --log-hidden --log-shown; do
  xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/quillex-bench-statuslog" $log
done
