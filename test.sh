#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite through CTest.
#
#   ./test.sh          web page (headless Chromium), release, sanitized, arm64
#                      (emulated) and Windows (wine) builds, every test
#   ./test.sh quick    release build only
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-full}
jobs=$(nproc)

# The figures the hostile-input tests print: frames of the long run, events
# of the input storm.
figures() {
  grep -hE '^(long run|storm): ' "$1/Testing/Temporary/LastTest.log" || true
}

./scripts/install_deps.sh

# 0. The web page (full runs): built to WebAssembly with emscripten, its
#    display-free tests under node and the page in headless Chromium; the
#    release build's tests below run the same session with the page and the
#    Linux program (FLUIDS_WEB_PAGE).
if [ "$mode" != quick ]; then
  ./scripts/build_web.sh --test build-web/page
  export FLUIDS_WEB_PAGE=$PWD/build-web/page
fi

# 1. Release build: unit tests, window tests, equivalence tests (switched on
#    explicitly: ./run.sh configures the same tree without them).
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFLUIDS_BUILD_TESTS=ON -DFLUIDS_BUILD_BENCH=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
figures build
# The Debian package of that build, checked unpacked, never installed.
./scripts/check_package.sh build

[ "$mode" = quick ] && exit 0

# 2. The same suite built with the address and undefined-behaviour
#    sanitizers; any report fails the run.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLUIDS_SANITIZE=ON \
      -DFLUIDS_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
figures build-asan

# 3. arm64: the solver and the display-free tests cross-built, under qemu.
./scripts/test_cross.sh

# 4. Windows: fluids.exe, its installer and the display-free tests
#    cross-built with MinGW-w64; those tests under wine, the release build's
#    window tests driving wine fluids.exe, the installer installing, running
#    and uninstalling it.
./scripts/build_windows.sh --test build-windows

# 5. Fuzzing with libFuzzer (clang): the solver on arbitrary field contents
#    and the input handling on arbitrary event sequences, each for a bounded
#    time, both at once. The seed corpus in tests/fuzz/corpus is only read;
#    what the fuzzers find goes to the build directory.
fuzz_seconds=${FUZZ_SECONDS:-60}
cmake -S . -B fuzz-build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DFLUIDS_FUZZ=ON -DFLUIDS_BUILD_TESTS=OFF \
      -DFLUIDS_BUILD_BENCH=OFF
cmake --build fuzz-build -j "$jobs" --target solver_fuzz input_fuzz
pids=()
for target in solver input; do
  mkdir -p "fuzz-build/corpus/$target"
  "fuzz-build/tests/fuzz/${target}_fuzz" -max_total_time="$fuzz_seconds" -timeout=30 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="fuzz-build/$target-" \
      "fuzz-build/corpus/$target" \
      "tests/fuzz/corpus/$target" > "fuzz-build/$target.log" 2>&1 &
  pids+=($!)
done
status=0
for k in 0 1; do
  wait "${pids[$k]}" || status=1
done
for target in solver input; do
  echo "${target}_fuzz: $(grep -E 'stat::number_of_executed_units' "fuzz-build/$target.log")"
done
if [ "$status" -ne 0 ]; then
  tail -n 60 fuzz-build/solver.log fuzz-build/input.log
  exit 1
fi
