#!/usr/bin/env bash
# fluids for 64-bit Windows, cross-built on Debian with MinGW-w64
# (cmake/x86_64-w64-mingw32.cmake):
#
#   scripts/build_windows.sh [DIR]          (DIR defaults to build-windows)
#   scripts/build_windows.sh --test [DIR]   the same, then the tests under wine
#
# The tests (./test.sh, full run) need the Linux build tree build/ (or
# FLUIDS_NATIVE_BUILD) built first: its window tests drive wine fluids.exe.
#
# leaves the program in DIR/viewer/fluids.exe and its installer in
# DIR/fluids-<version>-win64.exe. freeglut comes from Debian's own source
# package, fetched through a private apt configuration (the system's apt
# sources stay as they are) and built as a static library, so that
# fluids.exe needs no DLL but those of Windows itself.
set -euo pipefail
cd "$(dirname "$0")/.."
run_tests=0
if [ "${1:-}" = --test ]; then
  run_tests=1
  shift
fi
dir=$(realpath -m "${1:-build-windows}")
jobs=$(nproc)
fail() {
  echo "build_windows.sh: $*" >&2
  exit 1
}

./scripts/install_deps.sh windows

deps=$dir/deps
freeglut=$deps/freeglut
mkdir -p "$deps"
if [ ! -f "$freeglut/lib/cmake/FreeGLUT/FreeGLUTConfig.cmake" ]; then
  # 1. freeglut's source package, from the archive this machine installs
  #    from: a sources list of one deb-src entry, with lists and cache kept
  #    under $deps/apt.
  apt_dir=$deps/apt
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/src"
  . /etc/os-release
  uri=$( (grep -hE '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}';
          grep -hE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            sed -E 's/^deb (\[[^]]*\] )?([^ ]+).*/\2/') | grep -m1 -E '/debian/?$' || true)
  uri=${uri:-http://deb.debian.org/debian}
  echo "deb-src $uri $VERSION_CODENAME main" > "$apt_dir/sources.list"
  apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=-
               -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
               -o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" -qq update
  rm -rf "$apt_dir/src" && mkdir -p "$apt_dir/src"
  (cd "$apt_dir/src" && apt-get "${apt_options[@]}" -qq source freeglut)
  src=$(find "$apt_dir/src" -mindepth 1 -maxdepth 1 -type d -name 'freeglut-*' | head -n1)

  # 2. freeglut as a static library for Windows: no demos, no shared library.
  cmake -S "$src" -B "$deps/freeglut-build" --toolchain "$PWD/cmake/x86_64-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$freeglut" \
        -DFREEGLUT_BUILD_SHARED_LIBS=OFF -DFREEGLUT_BUILD_STATIC_LIBS=ON \
        -DFREEGLUT_BUILD_DEMOS=OFF -DFREEGLUT_REPLACE_GLUT=OFF -DCMAKE_C_FLAGS=-w > /dev/null
  cmake --build "$deps/freeglut-build" -j "$jobs" > /dev/null
  cmake --install "$deps/freeglut-build" > /dev/null
fi

# Wine keeps its prefix and its home in the build tree, shows no Mono or
# Gecko dialogs and registers no menu entries with the desktop. Its server
# and service processes are started here with their streams on /dev/null:
# started by the first test instead, they would inherit that test's output
# pipe and keep CTest waiting for it to close.
export WINEPREFIX=$dir/wine HOME=$dir/wine-home WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$HOME" "$WINEPREFIX"
wineserver -p < /dev/null > /dev/null 2>&1 || true  # (a server of this prefix may run already)
wine cmd /c exit < /dev/null > /dev/null 2>&1
xvfb_pid=
cleanup() {
  wineserver -k > /dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2> /dev/null || true; fi
}
trap cleanup EXIT

# 3. fluids, its tests that need no display (CTest lists them by running
#    them under wine) and the installer.
cmake -S . -B "$dir" --toolchain "$PWD/cmake/x86_64-w64-mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_FIND_ROOT_PATH="$freeglut" -DFLUIDS_BUILD_BENCH=OFF
cmake --build "$dir" -j "$jobs"
# The program needs no DLL but those every Windows has: the C++ and GCC
# runtimes, winpthread and freeglut are linked in.
for dll in $(x86_64-w64-mingw32-objdump -p "$dir/viewer/fluids.exe" |
               sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]'); do
  case $dll in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | opengl32.dll | winmm.dll | msvcrt.dll) ;;
    *) fail "fluids.exe needs $dll" ;;
  esac
done
(cd "$dir" && cpack -G NSIS > /dev/null)
ls "$dir/viewer/fluids.exe" "$dir"/fluids-*-win64.exe

[ "$run_tests" = 1 ] || exit 0

# 4. The solver, viewer-logic, formatter and report tests under wine: every
#    kernel level against the literal kernels, the golden hashes recorded on
#    Linux, the report against glibc's printf text.
ctest --test-dir "$dir" --output-on-failure -j "$jobs"

# 5. The window tests of the Linux build, with wine fluids.exe as the program
#    under test on their private Xvfb: the two reference reports, input
#    mirrored by the reference solver, pixels against the state and against
#    the Linux program's, the older GL's drawing, Escape and the window's
#    close button; standard output closed, full or a broken pipe.
native=$(realpath -m "${FLUIDS_NATIVE_BUILD:-build}")
[ -x "$native/tests/window_test" ] || fail "no window tests in $native (build it first)"
#    One at a time: wine's server keeps one foreground window for all
#    displays, so a second program would take the keyboard from the first.
export FLUIDS_LAUNCHER=wine
FLUIDS_UNDER_TEST=$dir/viewer/fluids.exe ctest --test-dir "$native" --output-on-failure \
  -R '^(WindowTest[.](FillSource|RightClick|Painting|CellsShow|AnOlderGL|TheSameScene|Closing)|HostileWindowTest[.]UnwritableOutput)'

# 6. The installer, silent, on an Xvfb of its own (wine needs a display for
#    it even so). It hands itself on to an elevated process and returns
#    early, and so does the uninstaller: both are waited for by their files.
exec {display_fd}> "$dir/xvfb-display"
Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$dir/xvfb-display" ] && break; sleep 0.1; done
exec {display_fd}>&-
export DISPLAY=:$(head -n1 "$dir/xvfb-display")
installed="$WINEPREFIX/drive_c/Program Files/fluids"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/fluids"
wait_until() {
  for _ in $(seq 300); do eval "$1" && return 0; sleep 0.1; done
  fail "$2"
}
installer=$(ls "$dir"/fluids-*-win64.exe)
wine "$installer" /S
wait_until '[ -f "$installed/bin/fluids.exe" ] && [ -f "$installed/Uninstall.exe" ] && [ -f "$menu/fluids.lnk" ]' \
  "the installer did not install fluids.exe, its uninstaller and its Start-menu entry"
sleep 1
FLUIDS_UNDER_TEST=$installed/bin/fluids.exe ctest --test-dir "$native" --output-on-failure \
  -R '^WindowTest[.]ResetKeepsTheTogglesAndEscapeFlushesTheOutput$' ||
  fail "the installed program failed its window test"
wine "$installed/Uninstall.exe" /S
wait_until '[ ! -e "$installed" ] && [ ! -e "$menu" ]' "the uninstaller left $installed or $menu behind"
echo "installer: installed, ran, uninstalled"
