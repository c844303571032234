#!/usr/bin/env bash
# Installs what is missing, builds, and opens the simulator. Arguments are
# passed to the program (and from there to GLUT, e.g. -display :1).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)" --target fluids
exec ./build/viewer/fluids "$@"
