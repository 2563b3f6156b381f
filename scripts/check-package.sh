#!/usr/bin/env bash
# Checks the built Debian packages without installing them: the file lists,
# the control fields, the version everywhere, the desktop entry, the AppStream
# metainfo, the MIME types, the hardening of the programs, lintian (no errors,
# no hardening tags), and the programs run from an unpacked copy.
set -euo pipefail
deb=${1:?usage: check-package.sh quillex_VERSION_ARCH.deb quillex-tools_VERSION_ARCH.deb}
tools_deb=${2:?usage: check-package.sh quillex_VERSION_ARCH.deb quillex-tools_VERSION_ARCH.deb}
root_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$work/files"
expected=(
  /usr/bin/quillex /usr/bin/quillex-cli /usr/bin/quillex-dnc
  /usr/lib/systemd/system/quillex-dnc@.service /usr/share/man/man1/quillex-dnc.1.gz
  /usr/share/applications/quillex.desktop
  /usr/share/icons/hicolor/48x48/apps/quillex.png /usr/share/icons/hicolor/64x64/apps/quillex.png
  /usr/share/icons/hicolor/128x128/apps/quillex.png /usr/share/icons/hicolor/256x256/apps/quillex.png
  /usr/share/icons/hicolor/scalable/apps/quillex.svg
  /usr/share/metainfo/com.quillex.Quillex.metainfo.xml
  /usr/share/mime/packages/quillex.xml
  /usr/share/man/man1/quillex.1.gz /usr/share/man/man1/quillex-cli.1.gz
  /usr/share/bash-completion/completions/quillex-cli
  /usr/share/doc/quillex/copyright /usr/share/doc/quillex/changelog.gz
)
for f in "${expected[@]}"; do
  grep -qxF "$f" "$work/files" || fail "missing in the package: $f"
done
grep -q devsim "$work/files" && fail "the simulated devices are in the shop-floor package"
dpkg-deb -c "$tools_deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$work/tools-files"
for f in /usr/bin/quillex-devsim /usr/share/man/man1/quillex-devsim.1.gz /usr/share/doc/quillex-tools/copyright \
  /usr/share/doc/quillex-tools/changelog.gz; do
  grep -qxF "$f" "$work/tools-files" || fail "missing in quillex-tools: $f"
done
if grep -v '^/usr/' "$work/files" | grep -v '^/$' | grep -q .; then
  fail "files outside /usr: $(grep -v '^/usr/' "$work/files" | grep -v '^/$' | tr '\n' ' ')"
fi
if grep -Eq 'quillex_settings\.ini|/tst_|/include/' "$work/files"; then
  fail "settings file, tests or headers in the package"
fi

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6network6 libqt6sql6-sqlite libqscintilla2-qt6 libc6 qt6-translations-l10n; do
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
grep -qxF '50:application/x-mazatrol-cmt:*.cmt' "$work/mime/globs2" || fail "no CMT type for *.cmt"
# What a file manager decides: programs open with the program whatever other
# types claim their extension, and a file without one is known by its first line.
mkdir -p "$work/types" "$work/nothing"
printf '%%\r\nO1000 (SAFT)\r\nG0 X0\r\n%%\r\n' >"$work/types/fanuc.nc"
printf '%%\nO0001\nM30\n%%\n' >"$work/types/program.ngc"
printf 'G0 X1\n' >"$work/types/plain.nc"
for ext in cnc tap mpf; do printf 'G0 X1\n' >"$work/types/plain.$ext"; done
printf 'O1234 (FLANS)\nG0 X0\n' >"$work/types/O1234"
printf '%%\nO1000\nM30\n%%\n' >"$work/types/download"
printf '(KAPAK)\nG0 X0\n' >"$work/types/kapak"
for f in "$work"/types/*; do
  type=$(XDG_DATA_HOME="$work/nothing" XDG_DATA_DIRS="$work" gio info -a standard::content-type "$f" |
    sed -n 's/^ *standard::content-type: //p')
  [ "$type" = text/x.gcode ] || fail "$(basename "$f") is taken for '$type', not a G-code program"
done

lintian --tag-display-limit 0 -I "$deb" "$tools_deb" >"$work/lintian.log" 2>&1 || true
if grep -q '^E: ' "$work/lintian.log"; then
  grep '^E: ' "$work/lintian.log" >&2
  fail "lintian errors"
fi
if grep -q 'hardening' "$work/lintian.log"; then
  grep 'hardening' "$work/lintian.log" >&2
  fail "lintian hardening tags"
fi
sed -n 's/^W: /lintian warning: /p' "$work/lintian.log"

dpkg-deb -x "$tools_deb" "$root"
# Debian's hardening: stack protector, fortified functions, read-only
# relocations bound at start.
for program in quillex quillex-cli quillex-dnc quillex-devsim; do
  bin=$root/usr/bin/$program
  # Read whole before matching: grep -q leaving early would fail the pipe under pipefail.
  headers=$(readelf -lW "$bin")
  dynamic=$(readelf -dW "$bin")
  symbols=$(readelf --dyn-syms -W "$bin")
  grep -q GNU_RELRO <<<"$headers" || fail "$program: no RELRO"
  grep -Eq 'BIND_NOW|FLAGS.*\bNOW\b' <<<"$dynamic" || fail "$program: not bound at start (no BIND_NOW)"
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program: no stack protector"
  grep -Eq '__[a-z0-9_]+_chk(@|$| )' <<<"$symbols" || fail "$program: no fortified functions"
done

# One version everywhere: the packages, the changelog, --version and the README's commands.
version=$(dpkg-deb -f "$deb" Version)
[ "$(dpkg-deb -f "$tools_deb" Version)" = "$version" ] || fail "quillex-tools has another version"
[[ $(basename "$deb") == "quillex_${version}_"*.deb ]] || fail "package file $(basename "$deb") lacks version $version"
zcat "$root/usr/share/doc/quillex/changelog.gz" | head -1 | grep -qF "quillex ($version)" ||
  fail "the changelog's version is not $version"
if grep -o 'quillex[-a-z]*_[0-9][^_ ]*_' "$root_dir/README.md" | grep -v "_${version}_" | grep -q .; then
  fail "the README names another version than $version"
fi
for program in quillex-cli quillex-dnc quillex-devsim quillex; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$program" --version 2>&1) || fail "$program --version failed: $out"
  [ "$out" = "$program $version" ] || fail "$program --version printed '$out', expected '$program $version'"
done
printf 'G0 X1\n' >"$work/a.nc"
# The folder service's unit: shipped, never enabled by the package itself.
unit=$root/usr/lib/systemd/system/quillex-dnc@.service
grep -qx 'ExecStart=/usr/bin/quillex-dnc' "$unit" || fail "the unit does not start /usr/bin/quillex-dnc"
if dpkg-deb -e "$deb" "$work/control" && grep -rqs 'systemctl\|deb-systemd' "$work/control"; then
  fail "the package enables or starts the folder service itself"
fi
if command -v systemd-analyze >/dev/null; then
  cp "$unit" "$work/quillex-dnc@cnc.service"
  sed -i "s|/usr/bin/quillex-dnc|$root/usr/bin/quillex-dnc|" "$work/quillex-dnc@cnc.service"
  systemd-analyze verify --man=no "$work/quillex-dnc@cnc.service" >"$work/unit.log" 2>&1 ||
    { cat "$work/unit.log" >&2; fail "systemd-analyze verify quillex-dnc@.service"; }
fi
"$root/usr/bin/quillex-cli" normalize "$work/a.nc" | grep -q '^G0 X1' || fail "quillex-cli normalize from the unpacked copy"

if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed for $deb" >&2
  exit 1
fi
echo "package checks passed: $deb $tools_deb"
