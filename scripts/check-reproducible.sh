#!/usr/bin/env bash
# Two package runs of one build give the same bytes: the archives' times come
# from SOURCE_DATE_EPOCH, not from the clock.
set -euo pipefail
build=${1:?usage: check-reproducible.sh PACKAGE_BUILD}
[ -n "${SOURCE_DATE_EPOCH:-}" ] || { echo "FAIL: SOURCE_DATE_EPOCH is not set" >&2; exit 1; }
again=$(mktemp -d)
trap 'rm -rf "$again"' EXIT
sleep 1 # a clock-stamped archive would now differ
(cd "$build" && cpack -G DEB -B "$again" >/dev/null)
failures=0
for deb in "$build"/quillex_*.deb "$build"/quillex-tools_*.deb; do
  if ! cmp -s "$deb" "$again/$(basename "$deb")"; then
    echo "FAIL: $(basename "$deb") differs between two package runs" >&2
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "package runs reproducible: $(cd "$build" && ls quillex_*.deb quillex-tools_*.deb | tr '\n' ' ')"
