#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite through CTest.
#
#   ./test.sh          release build and sanitized build, every test
#   ./test.sh quick    release build only
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-full}
jobs=$(nproc)

./scripts/install_deps.sh

# 1. Release build: unit tests, window tests, equivalence tests.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

[ "$mode" = quick ] && exit 0

# 2. The same suite built with the address and undefined-behaviour
#    sanitizers; any report fails the run.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLUIDS_SANITIZE=ON \
      -DFLUIDS_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
