#!/bin/sh
# The hostile matrix at full size: an 8 MiB reply, a 1 GiB announced download,
# 50,000 forged senders, 5000 devices for a minute against the window. Prints
# a table of case, time, peak memory and outcome; fails when a case is out of bound.
set -e
BUILD=${1:-build}
cmake --build "$BUILD" --target quillex-hostile
QT_QPA_PLATFORM=offscreen "$BUILD/tests/quillex-hostile" soak
