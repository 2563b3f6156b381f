#!/usr/bin/env bash
# Compares quillex-cli's toolpath with LinuxCNC's rs274, move by move, on the
# construct programs of tests/fixtures/toolpath and the corpus programs named in
# tests/fixtures/toolpath/corpus-files.txt. Installs nothing: scripts/install-deps.sh
# installs rs274 (linuxcnc-uspace). Without rs274 it fails under CI and
# otherwise ends with 77 (skipped).
# Usage: compare-toolpath.sh QUILLEX_CLI CORPUS_DIR
set -euo pipefail
cli=$1
corpus=$2
here=$(cd "$(dirname "$0")/.." && pwd)
fixtures=$here/tests/fixtures/toolpath
if ! command -v rs274 >/dev/null; then
  echo "rs274 is missing: scripts/install-deps.sh installs linuxcnc-uspace" >&2
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
if [ ! -d "$corpus" ]; then
  echo "the G-code corpus $corpus is missing" >&2
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
files=("$fixtures"/*.ngc)
while IFS= read -r name; do
  case "$name" in ''|'#'*) continue ;; esac
  files+=("$corpus/$name")
done < "$fixtures/corpus-files.txt"
exec python3 "$here/scripts/compare-toolpath.py" "$cli" "${files[@]}"
