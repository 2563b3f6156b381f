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
export QUILLEX_SETTINGS="$work/quillex_settings.ini" QUILLEX_NO_KEYCHAIN=1 XDG_CONFIG_HOME="$work" XDG_DATA_HOME="$work" QUILLEX_STATUS_PORT=$port

# A real program with two tool changes that the toolpath view draws whole.
program="$root/../shared/data/gcode/gsender/examples/gcode/jsdc_m6.gcode"
[ -f "$program" ] || program="$root/tests/fixtures/text/utf8-crlf.nc"
# Freze 2 keeps the program with a start-from index of its tool changes (until the upload replaces it).
index=$(grep -nE '^(T[0-9]+ ?M0?6|M0?6 ?T[0-9]+)' "$program" | cut -d: -f1 | paste -sd';' || true)
printf 'G0 X10 Y20\r\nM3 S1200\r\n\x13\x11' > "$work/capture.bin"
head -c 700 /dev/urandom >> "$work/capture.bin"
"$build/bin/quillex-devsim" --target "127.0.0.1:$port" \
  --device "ip=127.0.0.2,name=Torna 1,controller=FANUC,hw=HW4,erase=20000,interval=500" \
  --device "ip=127.0.0.3,name=Freze 2,controller=SIEMENS,hw=HW3,pin=1234,erase=6000,interval=500,program=$program,index=$index" \
  --device "ip=127.0.0.4,name=Eski Torna,controller=OKUMA,hw=HW2,build=480,interval=500,capture=$work/capture.bin" >"${DEVSIM_LOG:-$work/devsim.log}" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; rm -rf "$work"' EXIT
sleep 0.5

# Rows of the command line's in the transfer history: a settings batch and a refused start.
sleep 1 # the devices' first status datagrams, for their names
"$build/bin/quillex-cli" send 127.0.0.4 "NAME&Eski Torna" >/dev/null 2>&1 || true
"$build/bin/quillex-cli" startfrom 127.0.0.4 3 >/dev/null 2>&1 || true

# Torna 1 is busy: an upload keeps it erasing while the first pictures are taken.
# It does not listen for statuses: the window takes the status port meanwhile.
head -c 100000 /dev/urandom > "$work/big.bin"
"$build/bin/quillex-cli" upload 127.0.0.2 "$work/big.bin" --raw \
  --no-status --controller FANUC --hw HW4 --build 512 --maxfilesize 33554432 >/dev/null 2>&1 &

# An update server on 127.0.0.1 with a certificate authority made here: it offers
# version 2.0.0.0 and sends the program file slowly, for the update button's pictures.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 -subj "/CN=Quillex Screenshot CA" \
  -keyout "$work/ca.key" -out "$work/ca.pem" >/dev/null 2>&1
openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=127.0.0.1" \
  -keyout "$work/server.key" -out "$work/server.csr" >/dev/null 2>&1
printf 'subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' > "$work/server.ext"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -set_serial 1 -days 1 \
  -extfile "$work/server.ext" -out "$work/server.pem" >/dev/null 2>&1
python3 - "$work" > "$work/update-port" 2>"$work/update.log" <<'PY' &
import http.server, ssl, sys, time
work = sys.argv[1]
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = {'/downloads/linux-x86_64/quillex.inc': b'33554430\n',
                '/downloads/linux-x86_64/quillex.crc': b'00000000\n'}.get(self.path)
        size = 100 * 4096 if body is None else len(body)
        self.send_response(200)
        self.send_header('Content-Length', str(size))
        self.end_headers()
        if body is not None:
            self.wfile.write(body)
            return
        for _ in range(100):
            self.wfile.write(b'\0' * 4096)
            self.wfile.flush()
            time.sleep(0.3)
server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(work + '/server.pem', work + '/server.key')
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
updates=$!
trap 'kill $sim $updates 2>/dev/null; rm -rf "$work"' EXIT
while [ ! -s "$work/update-port" ]; do sleep 0.1; done
export QUILLEX_UPDATE_URL="https://127.0.0.1:$(cat "$work/update-port")" QUILLEX_UPDATE_CA_FILE="$work/ca.pem"

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
# A backup of a main part and three numbered subroutines, for the program list window.
backup="$root/../shared/data/gcode/pcb2gcode/testing/gerbv_example/example_board_al_mach3_tiled/expected/back.ngc"
[ -f "$backup" ] || backup=""
xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/quillex-screenshots" "$out" "$port" "$program" "$cmt" "$backup"
