#!/usr/bin/env bash
# fluids as a static web page, built with Debian's emscripten
# (cmake/emscripten.cmake):
#
#   scripts/build_web.sh [DIR]          (DIR defaults to build-web/page)
#   scripts/build_web.sh --test [DIR]   the same, then the tests: the
#                                       display-free ones under node, the
#                                       page in headless Chromium
#
# leaves DIR/fluids.html with fluids.js and fluids.wasm beside it: copy the
# three files to any static web host, or serve DIR locally with
#   python3 -m http.server --directory DIR
# and open http://localhost:8000/fluids.html. The build tree is build-web
# (FLUIDS_WEB_BUILD to change it).
set -euo pipefail
cd "$(dirname "$0")/.."
run_tests=0
if [ "${1:-}" = --test ]; then
  run_tests=1
  shift
fi
build=$(realpath -m "${FLUIDS_WEB_BUILD:-build-web}")
dir=$(realpath -m "${1:-$build/page}")
jobs=$(nproc)

if [ "$run_tests" = 1 ]; then
  ./scripts/install_deps.sh web-test
else
  ./scripts/install_deps.sh web
fi

# Debian's emcc runs node scripts that look for their modules in
# /usr/share/nodejs; its cache stays where the package keeps it.
export NODE_PATH=/usr/share/nodejs
unset EM_CACHE

cmake -S . -B "$build" --toolchain cmake/emscripten.cmake -DCMAKE_BUILD_TYPE=Release \
      -DFLUIDS_BUILD_TESTS=$([ "$run_tests" = 1 ] && echo ON || echo OFF) -DFLUIDS_BUILD_BENCH=OFF
if [ "$run_tests" = 1 ]; then
  cmake --build "$build" -j "$jobs"
else
  cmake --build "$build" -j "$jobs" --target fluids
fi

mkdir -p "$dir"
for f in fluids.html fluids.js fluids.wasm; do
  cp "$build/web/$f" "$dir/$f"
done
# The whole page, uncompressed, stays under 300 KB.
size=$(cat "$dir"/fluids.html "$dir"/fluids.js "$dir"/fluids.wasm | wc -c)
echo "build_web.sh: page in $dir: $size bytes (html + js + wasm)"
if [ "$size" -ge 300000 ]; then
  echo "build_web.sh: the page is over 300 KB" >&2
  exit 1
fi

if [ "$run_tests" = 1 ]; then
  FLUIDS_WEB_PAGE=$dir ctest --test-dir "$build" --output-on-failure -j "$jobs"
fi
