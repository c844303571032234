#!/usr/bin/env bash
# Installs what building and running need (not the test tools), builds, and
# opens the simulator. Arguments are passed to the program (and from there to
# GLUT, e.g. -display :1).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install_deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFLUIDS_BUILD_TESTS=OFF -DFLUIDS_BUILD_BENCH=OFF
# The default target: the program and what `cmake --install build` installs
# with it (the compressed manual page).
cmake --build build -j "$(nproc)"
exec ./build/viewer/fluids "$@"
