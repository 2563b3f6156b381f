#!/usr/bin/env bash
# Runs the window against three simulated devices (one busy, one with a PIN,
# one idle) under Xvfb and saves pictures into screenshots/. They are for
# people to look at, not committed.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/screenshots"
port=15500
work=$(mktemp -d)
export QUILLEX_SETTINGS="$work/quillex_settings.ini" QUILLEX_NO_KEYCHAIN=1 XDG_CONFIG_HOME="$work" QUILLEX_STATUS_PORT=$port

"$build/devsim/quillex-devsim" --target "127.0.0.1:$port" \
  --device "ip=127.0.0.2,name=Torna 1,controller=FANUC,hw=HW4,erase=20000,interval=500" \
  --device "ip=127.0.0.3,name=Freze 2,controller=SIEMENS,hw=HW3,pin=1234,interval=500" \
  --device "ip=127.0.0.4,name=Eski Torna,controller=OKUMA,hw=HW2,build=480,interval=500" >"$work/devsim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; rm -rf "$work"' EXIT
sleep 0.5

program="$root/../shared/data/gcode/linuxcnc/nc_files/mmount.ngc"
[ -f "$program" ] || program="$root/tests/fixtures/text/utf8-crlf.nc"

# Torna 1 is busy: an upload keeps it erasing while the pictures are taken.
head -c 300000 /dev/urandom > "$work/big.bin"
"$build/cli/quillex-cli" upload 127.0.0.2 "$work/big.bin" --raw >/dev/null 2>&1 &

mkdir -p "$out"
xvfb-run -a -s "-screen 0 1280x800x24" "$build/quillex-screenshots" "$out" "$port" "$program"
