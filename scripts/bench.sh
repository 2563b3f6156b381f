#!/usr/bin/env bash
# Prints every benchmark figure, each a ratio against a peer measured within
# one run, with its target and PASS or FAIL. Needs ../shared/data/gcode/.
# Each pair is taken in turns, ours then the peer's, QUILLEX_BENCH_PAIRS times
# (5 by default), and printed as min / median / max of the ratios per pair,
# with the load average beside it. QUILLEX_STATUS_PORT and
# QUILLEX_BENCH_ADDRESS (a 127.x.y.z address) give the status port and the
# simulated device's address, so that two people can run it on one machine.
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
echo "== shared transfer history on PostgreSQL"
"$build/bin/quillex-bench-sharedhistory"
echo
echo "== DNC folder service"
"$build/bin/quillex-bench-dnc"
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
echo "== window opening with another process keeping one core busy"
bash -c 'while :; do :; done' &
busy=$!
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$build/bin/quillex-bench-window" "$work/program.nc" \
  --open-only || { kill "$busy"; exit 1; }
kill "$busy"
echo
echo "== the real window from its start until its first screen (Xvfb, xcb), beside vim"
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/bench/bench-firstpaint.sh" "$build" "$work/program.nc"
echo
echo "== quillex-cli against standard tools, 32 MiB"
"$root/bench/bench-commands.sh" "$build" 32
echo
# The transfer history grown to a million records: listing and peak memory.
echo "== transfer history of 1,000,000 records"
python3 "$root/bench/bench-history-large.py" "$build"
echo
echo "== G-code interpreter, 32 MiB"
"$root/scripts/bench-toolpath.sh" "$build"
