#!/usr/bin/env bash
# The dialogs that want a fixed-pitch font, with Noto Sans Mono as the
# system's monospace font (Qt reports it as not fixed-pitch): the package as
# scripts/install-deps.sh unpacks it, put first for "monospace" by a
# fontconfig file of this run only. The plain ctest run covers the machine's
# own fonts.
set -euo pipefail
tests=${1:?usage: noto-mono.sh TESTS_DIR}
fonts="${XDG_CACHE_HOME:-$HOME/.cache}/quillex-test-fonts/usr/share/fonts"
if [ ! -d "$fonts" ]; then
    echo "fonts-noto-mono is not unpacked in $fonts: run scripts/install-deps.sh" >&2
    [ -n "${CI:-}" ] && exit 1
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/fonts.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <dir>$fonts</dir>
  <cachedir>$work/cache</cachedir>
  <alias binding="strong"><family>monospace</family><prefer><family>Noto Sans Mono</family></prefer></alias>
</fontconfig>
CONF
export FONTCONFIG_FILE=$work/fonts.conf
chosen=$(fc-match monospace)
case $chosen in
*"Noto Sans Mono"*) ;;
*) echo "FAIL: monospace is $chosen here, not Noto Sans Mono" >&2; exit 1 ;;
esac
export QT_QPA_PLATFORM=offscreen
"$tests/tst_mainformstartfrom" dialogLookAndKeys dialogLongLinesKeepTheirRows
"$tests/tst_programlist" layout
