#!/usr/bin/env bash
# Makes docs/screenshot.png with the window tests' own harness
# (tests/screenshot.cpp): the simulator on a private Xvfb, with a painted
# wall, density sources and a stir; and from it the program's icons
# (docs/make_icons.py), the wall and the plume below it.
# Needs the build tree of ./test.sh (its tests are built) and python3.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target screenshot
picture=$(mktemp --suffix=.ppm)
trap 'rm -f "$picture"' EXIT
build/tests/screenshot "$picture"
python3 docs/make_icons.py "$picture"
