#!/usr/bin/env bash
# Runs two builds of quillex-cli over every corpus file and a generated 32 MiB
# program and compares what they print and write: scan (rows, candidates,
# --siemens), normalize (and --siemens), split (names and the files of -d),
# hexdump, and what an upload stores in a simulated device (program bytes and
# start-from index). Prints one line per difference and a summary; exits 1
# when anything differs.
# Usage: scripts/compare-outputs.sh OLD_CLI NEW_CLI [DEVSIM]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
old=$(realpath "$1") new=$(realpath "$2")
devsim=$(realpath "${3:-$(dirname "$new")/quillex-devsim}")
corpus=${QUILLEX_GCODE_DATA:-$root/../shared/data/gcode}
if [ ! -d "$corpus" ]; then
  echo "compare-outputs: no G-code corpus at $corpus" >&2
  exit 1
fi
work=$(mktemp -d /tmp/quillex-compare.XXXXXX)
sim=
cleanup() { [ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
trap "exit 1" INT TERM
export QUILLEX_SETTINGS="$work/settings.ini" QUILLEX_NO_KEYCHAIN=1

"$root/bench/make-program.sh" "$corpus" $((32 * 1024 * 1024)) "$work/program-32m.nc"
mapfile -d '' files < <(find "$corpus" -type f ! -name '*.md' -print0 | LC_ALL=C sort -z)
files+=("$work/program-32m.nc")

# A device of its own on a random loopback address, erasing instantly.
ip="127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))"
"$devsim" --target "127.0.0.1:9" --device "ip=$ip,hw=HW4,erase=0,maxfilesize=1073741824,interval=60000" \
  >"$work/devsim.log" 2>&1 &
sim=$!
sleep 0.5

checks=0 differences=0
# Runs one command line with each CLI and compares standard output and exit code.
same() {
  local what=$1; shift
  local rc
  rc=0; "$old" "$@" >"$work/old.out" 2>/dev/null || rc=$?
  echo "rc=$rc" >>"$work/old.out"
  rc=0; "$new" "$@" >"$work/new.out" 2>/dev/null || rc=$?
  echo "rc=$rc" >>"$work/new.out"
  checks=$((checks + 1))
  if ! cmp -s "$work/old.out" "$work/new.out"; then
    differences=$((differences + 1))
    echo "DIFFERS: $what: $*"
  fi
}

upload_stores() {
  local cli=$1 file=$2 out=$3
  "$cli" upload "$ip" "$file" --no-status --controller FANUC --hw HW4 --build 512 --maxfilesize 1073741824 \
    --progress none -q >"$out.upload" 2>&1 || echo "upload failed" >>"$out.upload"
  "$cli" download "$ip" -o "$out.stored" --progress none -q >/dev/null 2>&1 || echo "download failed" >"$out.stored"
  "$new" index "$ip" >"$out.index" 2>&1 || true
}

for f in "${files[@]}"; do
  echo "compare-outputs: $f" >&2
  same scan scan "$f"
  same "scan --candidates" scan "$f" --candidates
  same "scan --siemens" scan "$f" --siemens --candidates
  same normalize normalize "$f"
  same "normalize --siemens" normalize "$f" --siemens
  same split split "$f"
  same hexdump hexdump "$f"
  # split -d: the same files with the same bytes.
  rm -rf "$work/old-split" "$work/new-split"
  "$old" split "$f" -d "$work/old-split" >/dev/null 2>&1 || true
  "$new" split "$f" -d "$work/new-split" >/dev/null 2>&1 || true
  checks=$((checks + 1))
  if ! diff -r "$work/old-split" "$work/new-split" >/dev/null 2>&1; then
    if [ -e "$work/old-split" ] || [ -e "$work/new-split" ]; then
      differences=$((differences + 1))
      echo "DIFFERS: split -d: $f"
    fi
  fi
  # upload: what the device stores and its start-from index.
  upload_stores "$old" "$f" "$work/old"
  upload_stores "$new" "$f" "$work/new"
  checks=$((checks + 1))
  if ! cmp -s "$work/old.stored" "$work/new.stored" || ! cmp -s "$work/old.index" "$work/new.index" \
    || ! cmp -s "$work/old.upload" "$work/new.upload"; then
    differences=$((differences + 1))
    echo "DIFFERS: upload: $f"
  fi
done
echo "compare-outputs: ${#files[@]} files, $checks comparisons, $differences differences"
[ "$differences" -eq 0 ]
