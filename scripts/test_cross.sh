#!/usr/bin/env bash
# The solver on another architecture: cross-builds the solver, the viewer's
# GL-free core and the tests that need no display for arm64
# (cmake/aarch64-linux-gnu.cmake) and runs them through CTest under
# qemu-aarch64. They check the portable kernels against the literal ones, the
# golden hashes recorded on x86-64, the float formatter against the target's
# printf and the report byte for byte. Called by ./test.sh (full run).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

./scripts/install_deps.sh cross

cmake -S . -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake \
      -DCMAKE_BUILD_TYPE=Release -DFLUIDS_BUILD_VIEWER=OFF -DFLUIDS_BUILD_BENCH=OFF
cmake --build build-arm64 -j "$jobs"
# Emulation is slower: a third of the native count of random float patterns.
FLOAT_FORMAT_PATTERNS=${FLOAT_FORMAT_PATTERNS:-1000000} \
  ctest --test-dir build-arm64 --output-on-failure -j "$jobs"
