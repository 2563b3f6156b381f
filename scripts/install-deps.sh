#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqscintilla2-qt6-dev qtkeychain-qt6-dev qt6-translations-l10n
  libqt6sql6-sqlite sqlite3                # the transfer history's driver; the shell the benchmark compares with
  libpcre2-dev zlib1g-dev libssl-dev
  clang libclang-rt-14-dev clang-format
  ripgrep bsdextrautils xvfb xauth x11-utils fonts-dejavu-core
  libxcb1-dev xterm vim                    # make bench: the screen read back; vim in an xterm as a peer
  openssl                                  # the self-update tests' certificates
  python3                                  # make screenshots
  ccache                                   # shared objects between the build trees
  librsvg2-bin help2man                    # icons and man pages at build time
  dpkg-dev file                            # make package: dpkg-shlibdeps
  desktop-file-utils appstream lintian     # make test: checks of the package
  libglib2.0-bin                           # make test: gio, the file types of part programs
  shared-mime-info bash-completion         # make test: MIME types and completion
  groff-base                               # make test: the man page renders without warnings
  # The shared transfer history: Qt SQL's PostgreSQL driver, and the server
  # whose initdb and pg_ctl the tests run a throw-away instance with.
  libqt6sql6-psql postgresql
  linuxcnc-uspace                          # rs274: the independent interpreter the toolpath test compares with
  fontconfig                               # make test: fc-match, the dialogs under another monospace font
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  $SUDO apt-get update -qq >&2
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# The dialogs are also tested with Noto Sans Mono as the monospace font (Qt
# does not report it as fixed-pitch): the package is unpacked for the tests
# only, never installed, so the machine's own fonts stay as they are.
fonts="${XDG_CACHE_HOME:-$HOME/.cache}/quillex-test-fonts"
if [ ! -d "$fonts/usr/share/fonts" ]; then
  download=$(mktemp -d)
  trap 'rm -rf "$download"' EXIT
  if ! (cd "$download" && apt-get download -qq fonts-noto-mono >/dev/null 2>&1); then
    $SUDO apt-get update -qq >&2
    (cd "$download" && apt-get download -qq fonts-noto-mono >/dev/null 2>&1)
  fi
  mkdir -p "$fonts"
  dpkg-deb -x "$download"/fonts-noto-mono_*.deb "$fonts"
fi
