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
# DIR/fluids-<version>-win64.exe. freeglut is one pinned release, its
# upstream source taken from Debian's source package (fetched through a
# private apt configuration; the system's apt sources stay as they are) and
# checked against its recorded SHA-256, built as a static library, so that
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

# The freeglut release built, and the SHA-256 of its source archive.
freeglut_version=3.4.0
freeglut_sha256=3c0bcb915d9b180a97edaebd011b7a1de54583a838644dcd42bb0ea0c6f3eaec

deps=$dir/deps
freeglut=$deps/freeglut
mkdir -p "$deps"
if [ ! -f "$freeglut/lib/cmake/FreeGLUT/FreeGLUTConfig.cmake" ] ||
   [ "$(cat "$freeglut/source.sha256" 2>/dev/null)" != "$freeglut_sha256" ]; then
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
  (cd "$apt_dir/src" && apt-get "${apt_options[@]}" -qq --download-only source freeglut)
  #    Only the upstream archive is used (Debian's changes concern its own
  #    shared library), and only the pinned release with its recorded sum.
  archive=$apt_dir/src/freeglut_$freeglut_version.orig.tar.gz
  [ -f "$archive" ] || fail "the archive's freeglut source is not release $freeglut_version:" \
    "$(ls "$apt_dir/src")"
  echo "$freeglut_sha256  $archive" | sha256sum --check --quiet - ||
    fail "$archive has not the recorded SHA-256 $freeglut_sha256"
  tar -xzf "$archive" -C "$apt_dir/src"
  src=$apt_dir/src/freeglut-$freeglut_version

  # 2. freeglut as a static library for Windows: no demos, no shared library.
  cmake -S "$src" -B "$deps/freeglut-build" --toolchain "$PWD/cmake/x86_64-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$freeglut" \
        -DFREEGLUT_BUILD_SHARED_LIBS=OFF -DFREEGLUT_BUILD_STATIC_LIBS=ON \
        -DFREEGLUT_BUILD_DEMOS=OFF -DFREEGLUT_REPLACE_GLUT=OFF -DCMAKE_C_FLAGS=-w > /dev/null
  cmake --build "$deps/freeglut-build" -j "$jobs" > /dev/null
  cmake --install "$deps/freeglut-build" > /dev/null
  echo "$freeglut_sha256" > "$freeglut/source.sha256"
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

# 4. The program is a Windows GUI program (no console window of its own)
#    with its icon (freeglut's windows take the one named GLUT_ICON) and its
#    version resource naming the project's version.
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$dir/CPackConfig.cmake")
headers=$(x86_64-w64-mingw32-objdump -p "$dir/viewer/fluids.exe")
grep -qE '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)$' <<< "$headers" ||
  fail "fluids.exe is not a Windows GUI program"
resources=$(x86_64-w64-mingw32-windres -i "$dir/viewer/fluids.exe" -O rc)
for line in '^"GLUT_ICON" 14 /\* RT_GROUP_ICON \*/$' "VALUE \"ProductVersion\", \"$version\"\$" \
            "VALUE \"FileVersion\", \"$version\"\$" 'VALUE "ProductName", "fluids"$' \
            'VALUE "LegalCopyright", ".*MIT License"$'; do
  grep -qE "$line" <<< "$resources" || fail "no resource line '$line' in fluids.exe"
done
[ "$(grep -c 'RT_ICON \*/$' <<< "$resources")" = 4 ] || fail "fluids.exe has not its 4 icon images"

#    The solver, viewer-logic, formatter and report tests under wine: every
#    kernel level against the literal kernels, the golden hashes recorded on
#    Linux, the report against glibc's printf text.
ctest --test-dir "$dir" --output-on-failure -j "$jobs"

#    The window tests of the Linux build, with wine fluids.exe as the program
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

# 5. The installer on an Xvfb of its own: its licence page as it shows it,
#    then installed silently (/S; wine needs a display even so). It hands
#    itself on to an elevated process and returns early, and so does the
#    uninstaller: both are waited for by their files.
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
wine "$installer" < /dev/null > /dev/null 2>&1 &
page=$(wine "$dir/tests/licence_page_text.exe" fluids) || fail "no licence page"
wait $! || true
#    (the page's text control gives its line ends as CR, CR LF or CR CR LF)
page=$(sed 's/\r*$//' <<< "$page" | tr '\r' '\n')
[ "$page" = "$(cat LICENSE)" ] || fail "the licence page shows"$'\n'"$page"
echo "installer: the licence page shows LICENSE ($(head -n1 <<< "$page"))"

wine "$installer" /S
wait_until '[ -f "$installed/fluids.exe" ] && [ -f "$installed/Uninstall.exe" ] && [ -f "$menu/fluids.lnk" ]' \
  "the installer did not install fluids.exe, its uninstaller and its Start-menu entry"
[ -f "$installed/README.md" ] && [ -f "$installed/LICENSE.txt" ] ||
  fail "no README.md and LICENSE.txt beside fluids.exe"
#    The uninstaller's entry among the installed programs.
entry=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\fluids' 2> /dev/null | tr -d '\r')
for value in "DisplayVersion[[:space:]]+REG_SZ[[:space:]]+$version\$" 'Publisher[[:space:]]+REG_SZ[[:space:]]+.+' \
             'DisplayIcon[[:space:]]+REG_SZ[[:space:]]+.*\\fluids\.exe$'; do
  grep -qE "$value" <<< "$entry" || fail "no '$value' in the uninstaller's entry"$'\n'"$entry"
done
sleep 1
FLUIDS_UNDER_TEST=$installed/fluids.exe ctest --test-dir "$native" --output-on-failure \
  -R '^WindowTest[.]ResetKeepsTheTogglesAndEscapeFlushesTheOutput$' ||
  fail "the installed program failed its window test"
#    Its report into a file, as `fluids.exe > report.txt` writes it: a
#    paused step with the report on gives the report of empty fields, with
#    line feeds only.
wine "$installed/fluids.exe" > "$dir/report.txt" 2> /dev/null < /dev/null &
fluids_pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Compute Stable Fluids$' | head -n1)
[ -n "$window" ] || fail "the installed program showed no window"
xdotool windowfocus --sync "$window" key --delay 50 s c space
wait_until 'grep -q "^Total Density: " "$dir/report.txt"' "no report in a file"
xdotool key Escape
wait "$fluids_pid" || fail "the installed program did not end with status 0"
[ "$(grep -c '^Total Density: 0.000000$' "$dir/report.txt")" = 1 ] && [ "$(head -c 15 "$dir/report.txt")" = $'\n\nDensity Field' ] ||
  fail "the report in a file is not that of one step of empty fields"
if grep -q $'\r' "$dir/report.txt"; then fail "the report in a file has CR LF line ends"; fi
wine "$installed/Uninstall.exe" /S
wait_until '[ ! -e "$installed" ] && [ ! -e "$menu" ]' "the uninstaller left $installed or $menu behind"
echo "installer: installed, ran, uninstalled"
