#!/usr/bin/env bash
# Checks a built Debian package without installing it: the file list, the
# control fields, the desktop entry, the AppStream metainfo, the MIME types,
# lintian (no errors), and the programs run from an unpacked copy.
set -euo pipefail
deb=${1:?usage: check-package.sh quillex_VERSION_ARCH.deb}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$work/files"
expected=(
  /usr/bin/quillex /usr/bin/quillex-cli /usr/bin/quillex-devsim
  /usr/share/applications/quillex.desktop
  /usr/share/icons/hicolor/48x48/apps/quillex.png /usr/share/icons/hicolor/64x64/apps/quillex.png
  /usr/share/icons/hicolor/128x128/apps/quillex.png /usr/share/icons/hicolor/256x256/apps/quillex.png
  /usr/share/icons/hicolor/scalable/apps/quillex.svg
  /usr/share/metainfo/com.quillex.Quillex.metainfo.xml
  /usr/share/mime/packages/quillex.xml
  /usr/share/man/man1/quillex.1.gz /usr/share/man/man1/quillex-cli.1.gz /usr/share/man/man1/quillex-devsim.1.gz
  /usr/share/bash-completion/completions/quillex-cli
  /usr/share/doc/quillex/copyright /usr/share/doc/quillex/changelog.gz
)
for f in "${expected[@]}"; do
  grep -qxF "$f" "$work/files" || fail "missing in the package: $f"
done
if grep -v '^/usr/' "$work/files" | grep -v '^/$' | grep -q .; then
  fail "files outside /usr: $(grep -v '^/usr/' "$work/files" | grep -v '^/$' | tr '\n' ' ')"
fi
if grep -Eq 'quillex_settings\.ini|/tst_|/include/' "$work/files"; then
  fail "settings file, tests or headers in the package"
fi

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6network6 libqt6sql6-sqlite libqscintilla2-qt6 libc6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib (found: $depends)"
done
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"

dpkg-deb -x "$deb" "$work/root"
root=$work/root
desktop-file-validate "$root/usr/share/applications/quillex.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=quillex %F' "$root/usr/share/applications/quillex.desktop" || fail "Exec line"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.quillex.Quillex.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }

# The MIME definitions compile, and the new extensions get their types.
mkdir -p "$work/mime/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$root/usr/share/mime/packages/quillex.xml" "$work/mime/packages/"
update-mime-database "$work/mime" >"$work/mime.log" 2>&1 || { cat "$work/mime.log" >&2; fail "update-mime-database"; }
for pattern in '*.nc' '*.cnc' '*.ngc' '*.tap' '*.mpf'; do
  grep -qxF "50:text/x.gcode:$pattern" "$work/mime/globs2" || fail "no G-code type for $pattern"
done
grep -qxF '50:application/x-mazatrol-cmt:*.cmt' "$work/mime/globs2" || fail "no CMT type for *.cmt"

lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
if grep -q '^E: ' "$work/lintian.log"; then
  grep '^E: ' "$work/lintian.log" >&2
  fail "lintian errors"
fi
sed -n 's/^W: /lintian warning: /p' "$work/lintian.log"

version=$(dpkg-deb -f "$deb" Version)
for program in quillex-cli quillex-devsim quillex; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$program" --version 2>&1) || fail "$program --version failed: $out"
  [ "$out" = "$program $version" ] || fail "$program --version printed '$out', expected '$program $version'"
done
printf 'G0 X1\n' >"$work/a.nc"
"$root/usr/bin/quillex-cli" normalize "$work/a.nc" | grep -q '^G0 X1' || fail "quillex-cli normalize from the unpacked copy"

if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed for $deb" >&2
  exit 1
fi
echo "package checks passed: $deb"
