#!/usr/bin/env bash
# Prints every benchmark figure, each a ratio against a peer measured within
# one run, with its target and PASS or FAIL. Needs ../shared/data/gcode/.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${QUILLEX_GCODE_DATA:-$root/../shared/data/gcode}
if [ ! -d "$corpus" ]; then
  echo "bench: no G-code corpus at $corpus; the benchmarks need it" >&2
  exit 1
fi
# The window's start-up update check finds nothing listening instead of a real server.
export QUILLEX_UPDATE_URL=https://127.0.0.1:9
work=$(mktemp -d /tmp/quillex-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$root/bench/make-program.sh" "$corpus" $((32 * 1024 * 1024)) "$work/program.nc"

echo "== content tools"
"$build/bin/quillex-bench-content" "$corpus"
echo
echo "== device link"
"$build/bin/quillex-bench-device" "$build/bin/quillex-devsim"
echo
echo "== transfer history"
"$build/bin/quillex-bench-history"
echo
echo "== window with 1000 devices reporting (own X server, xcb)"
# The window's whole CPU, its status log attached: hidden as it starts, and shown.
for log in --log-hidden --log-shown; do
  xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/quillex-bench-statuslog" $log
done
echo
echo "== window (Xvfb, xcb)"
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$build/bin/quillex-bench-window" "$work/program.nc"
echo
echo "== quillex-cli against standard tools, 32 MiB"
"$root/bench/bench-commands.sh" "$build" 32
echo
echo "== G-code interpreter, 32 MiB"
"$root/scripts/bench-toolpath.sh" "$build"
