# Build for the web browser with Debian's emscripten (emcc 3.1.6);
# scripts/build_web.sh uses it:
#   cmake -S . -B build-web --toolchain cmake/emscripten.cmake
# The programs are JavaScript with WebAssembly beside them; CTest runs the
# display-free tests under node.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

# Emscripten reports an x86 processor; the solver takes its portable kernels
# on anything that is not x86-64, and says so here as well.
set(CMAKE_SYSTEM_PROCESSOR wasm32)

# emcc runs node scripts that need Debian's node modules (acorn, terser) on
# every compile and link, not only at configure time. Its cache stays
# where Debian's package puts it (EM_CACHE unset).
foreach(lang C CXX)
  set(CMAKE_${lang}_COMPILER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
  set(CMAKE_${lang}_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
endforeach()

# node 18's built-in fetch makes Emscripten's loader try to fetch the .wasm
# file instead of reading it.
find_program(FLUIDS_NODE NAMES node nodejs REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${FLUIDS_NODE} --no-experimental-fetch)
