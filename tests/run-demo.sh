#!/usr/bin/env bash
# `make run` without a display, on a status port of its own: the simulated
# devices must send to the port the client listens on.
set -euo pipefail
root=$1
build=$2
export QUILLEX_STATUS_PORT=$((20000 + RANDOM % 40000))
export QUILLEX_DEMO_NET=127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1))
unset DISPLAY WAYLAND_DISPLAY
out=$(bash "$root/scripts/run.sh" "$build" --once 2>&1) || { echo "$out"; echo "FAIL: the demo ended with an error" >&2; exit 1; }
for want in "Torna 1" "Freze 2" "Eski Torna"; do
  grep -q "$want" <<<"$out" || { echo "$out"; echo "FAIL: $want not listed on port $QUILLEX_STATUS_PORT" >&2; exit 1; }
done
echo "the demo ran on status port $QUILLEX_STATUS_PORT"
