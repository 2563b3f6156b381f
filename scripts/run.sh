#!/usr/bin/env bash
# The main job: three simulated devices (one with a slow flash erase, one with
# the transfer PIN 1234, one old idle one) and the client window against them.
# Without a display the command-line client shows the same devices instead:
# it lists them, uploads a program, reads the index back and downloads it.
# The devices send their status to the port the client listens on
# (QUILLEX_STATUS_PORT, 5003 by default). With --once the command-line demo
# ends instead of keeping the devices running.
set -euo pipefail
build=${1:-build}
once=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$build/bin"
cli="$bin/quillex-cli"
work=$(mktemp -d)
export QUILLEX_SETTINGS="$work/quillex_settings.ini"

port=${QUILLEX_STATUS_PORT:-5003}
# The devices' addresses: 127.0.0.2-4 unless a run asks for a loopback
# network of its own (QUILLEX_DEMO_NET=127.a.b), so that two runs never meet.
net=${QUILLEX_DEMO_NET:-127.0.0}
"$bin/quillex-devsim" --target "127.0.0.1:$port" \
  --device "ip=$net.2,name=Torna 1,controller=FANUC,hw=HW4,erase=400000" \
  --device "ip=$net.3,name=Freze 2,controller=SIEMENS,hw=HW3,pin=1234" \
  --device "ip=$net.4,name=Eski Torna,controller=FANUC,hw=HW2,build=480" >"$work/devsim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; rm -rf "$work"' EXIT
sleep 0.5

program="$root/../shared/data/gcode/gsender/examples/gcode/toolchange.nc"
if [ ! -f "$program" ]; then
  program="$work/demo.nc"
  printf '%%\nO1000 (DEMO)\nT1 M6\nG0 X0 Y0\nG1 X10 F200\nT2 M6\nG1 Y10\nM30\n%%\n' >"$program"
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Simulated devices: Torna 1 ($net.2), Freze 2 ($net.3, PIN 1234), Eski Torna ($net.4)."
  "$bin/quillex"
  exit 0
fi

echo "(no display: the command-line client against the simulated devices)"
echo "== Devices on the network (quillex-cli devices)"
"$cli" devices --listen 2
echo
echo "== Upload $(basename "$program") to Torna 1 ($net.2)"
"$cli" upload "$net.2" "$program"
echo
echo "== Start-from index stored on Torna 1 (Index, Line, Offset)"
"$cli" index "$net.2"
echo
echo "== First lines of the program downloaded back"
"$cli" download "$net.2" | head -n 8
echo
echo "== Settings of Freze 2 (transfer PIN 1234)"
"$cli" --pin 1234 send "$net.3" BR19200 XONXOFF\&1
echo
echo "== Status document of Freze 2"
sleep 1.2
"$cli" status "$net.3"
[ "$once" = --once ] && exit 0
echo
echo "The simulated devices keep running; press Ctrl+C to stop."
wait $sim
