#!/bin/sh
# The hostile matrix at full size: an 8 MiB reply, a 1 GiB announced download,
# 50,000 forged senders, 5000 devices for a minute against the window. Prints
# a table of case, time, peak memory and outcome; fails when a case is out of bound.
set -e
BUILD=${1:-build}
cmake --build "$BUILD" --target quillex-hostile
QT_QPA_PLATFORM=offscreen "$BUILD/tests/quillex-hostile" soak
# The content commands on files of 100 MiB.
cmake --build "$BUILD" --target quillex-cli
scripts/soak-content.sh "$BUILD" 100
# The update's body streamed to its file: an endless body stopped at the 512 MiB bound.
cmake --build "$BUILD" --target tst_autoupdate
QUILLEX_SOAK=1 "$BUILD/tests/tst_autoupdate" endlessBodyStopsAtTheBound
