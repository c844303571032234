#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need,
# only those that are missing. Runs apt-get as root, or through sudo.
set -euo pipefail

# "install_deps.sh run": only what building and running the program need
# (./run.sh): the compiler, CMake and the GL and GLUT development packages.
run_packages=(
  cmake g++ make
  freeglut3-dev libgl1-mesa-dev libgl1-mesa-dri libglu1-mesa-dev
)
packages=(
  "${run_packages[@]}" pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libx11-dev
  xvfb xdotool x11-utils xauth
  clang
  dpkg-dev file desktop-file-utils mandoc lintian appstream
)

# "install_deps.sh cross": instead, what the emulated arm64 tests need (the
# cross compilers, which bring the target's C library through their
# recommends, and qemu-user).
install_options=(--no-install-recommends)
if [ "${1:-}" = cross ]; then
  packages=(crossbuild-essential-arm64 qemu-user)
  install_options=()
fi
[ "${1:-}" = run ] && packages=("${run_packages[@]}")
# "install_deps.sh windows": what the Windows build and its tests under wine
# need (MinGW-w64, wine, NSIS; dpkg-dev unpacks freeglut's source package).
if [ "${1:-}" = windows ]; then
  packages=(cmake make g++-mingw-w64-x86-64-posix wine wine64 nsis dpkg-dev)
fi
# "install_deps.sh web": what building the web page needs (emscripten brings
# clang, lld and binaryen; node runs its scripts); "web-test" adds headless
# Chromium (WebGL2 in software) for the page's tests.
case "${1:-}" in
  web) packages=(cmake make emscripten nodejs) ;;
  web-test) packages=(cmake make emscripten nodejs chromium) ;;
esac

# Installs those of its arguments that are missing.
updated=0
install_missing() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  echo "installing: ${missing[*]}"
  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      as_root=(sudo)
    else
      echo "missing packages (${missing[*]}) and neither root nor sudo available" >&2
      exit 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [ "$updated" = 0 ]; then
    "${as_root[@]}" apt-get update -qq
    updated=1
  fi
  "${as_root[@]}" apt-get install -y -qq "${install_options[@]}" "${missing[@]}"
}

install_missing "${packages[@]}"

# The fuzzers' sanitizer and libFuzzer runtimes (compiler-rt) come in a
# package named after the major version of clang, whichever the
# distribution's clang is.
if [ "${1:-}" = "" ]; then
  clang_major=$(clang --version | sed -nE '1s/.*clang version ([0-9]+)\..*/\1/p')
  [ -n "$clang_major" ] || { echo "cannot read the version of clang" >&2; exit 1; }
  install_missing "libclang-rt-$clang_major-dev"
fi
