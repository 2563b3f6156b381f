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

printf 'G0 X10 Y20\r\nM3 S1200\r\n\x13\x11' > "$work/capture.bin"
head -c 700 /dev/urandom >> "$work/capture.bin"
"$build/bin/quillex-devsim" --target "127.0.0.1:$port" \
  --device "ip=127.0.0.2,name=Torna 1,controller=FANUC,hw=HW4,erase=20000,interval=500" \
  --device "ip=127.0.0.3,name=Freze 2,controller=SIEMENS,hw=HW3,pin=1234,erase=6000,interval=500" \
  --device "ip=127.0.0.4,name=Eski Torna,controller=OKUMA,hw=HW2,build=480,interval=500,capture=$work/capture.bin" >"${DEVSIM_LOG:-$work/devsim.log}" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; rm -rf "$work"' EXIT
sleep 0.5

program="$root/../shared/data/gcode/linuxcnc/nc_files/mmount.ngc"
[ -f "$program" ] || program="$root/tests/fixtures/text/utf8-crlf.nc"

# Torna 1 is busy: an upload keeps it erasing while the first pictures are taken.
head -c 100000 /dev/urandom > "$work/big.bin"
"$build/bin/quillex-cli" upload 127.0.0.2 "$work/big.bin" --raw >/dev/null 2>&1 &

mkdir -p "$out"
cmt="$work/backup.cmt"
python3 - "$cmt" <<'PY'
import sys
def frame(p):
    return b'\x02' + p + b'\x03' + ('%02X' % (sum(p) % 256)).encode() + b'\x04'
def header(work, text):
    return b'1100' + b' ' * 10 + b'%08d' % work + b'    ' + b'%02X' % len(text) + text
blocks = [b'3117MAZATROL', b'3000', b'3200TABLE']
for work, text, data in [(7, b'FLANS-A', 12), (120, b'MIL-B', 3), (12345, b'KAPAK', 6)]:
    blocks += [header(work, text)] + [b'1500' + b'%04d' % i for i in range(data)] + [b'1200']
blocks.append(b'2000END')
open(sys.argv[1], 'wb').write(b''.join(frame(b) for b in blocks))
PY
xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/quillex-screenshots" "$out" "$port" "$program" "$cmt"
