#!/usr/bin/env bash
# Makes the Debian package of a built tree and checks it without installing
# it: its control fields, its file list, and the unpacked program, menu entry
# and manual page.
#
#   scripts/check_package.sh [build directory, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
fail() {
  echo "package check: $*" >&2
  exit 1
}

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=$build/fluids_${version}_$(dpkg --print-architecture).deb
rm -f "$deb"
(cd "$build" && cpack -G DEB) > "$build/cpack.log" 2>&1 || { cat "$build/cpack.log"; fail "cpack failed"; }
[ -f "$deb" ] || fail "cpack made no $deb"

# Control fields; the dependencies come from dpkg-shlibdeps.
info=$(dpkg-deb --info "$deb")
for field in 'Package: fluids' "Version: $version" 'Maintainer: .+<.+@.+>' 'Section: .+' \
             'Description: .+' 'Depends: .*libc6.*' 'Depends: .*libglut.*'; do
  grep -qE "^ $field\$" <<< "$info" || fail "no '$field' in the control file"$'\n'"$info"
done

# Exactly the program and its data: no tests, benchmarks or libraries.
files=$(dpkg-deb --contents "$deb" | grep -v '^d' | awk '{print $6}' | sort)
expected='./usr/bin/fluids
./usr/share/applications/fluids.desktop
./usr/share/doc/fluids/README.md
./usr/share/icons/hicolor/128x128/apps/fluids.png
./usr/share/man/man6/fluids.6'
[ "$files" = "$expected" ] || fail "the package holds"$'\n'"$files"$'\n'"instead of"$'\n'"$expected"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
usr=$root/usr

# The installed program must not look for libraries in the build tree.
if readelf -d "$usr/bin/fluids" | grep -E 'R(UN)?PATH'; then
  fail "the packaged program has a run path"
fi

# The unpacked program on the tests' private X server: its window appears,
# it steps and reports, and Escape ends it with status 0.
run=$(FLUIDS_UNDER_TEST=$usr/bin/fluids "$build/tests/window_test" \
        --gtest_filter=WindowTest.ResetKeepsTheTogglesAndEscapeFlushesTheOutput 2>&1) ||
  fail "the packaged program failed its window test"$'\n'"$run"
grep -q '^\[  PASSED  \] 1 test\.' <<< "$run" || fail "its window test did not run"$'\n'"$run"

# The menu entry is valid (hints, such as the two main categories the entry
# asks for, are allowed) and the manual page lints clean.
validate=$(desktop-file-validate "$usr/share/applications/fluids.desktop" 2>&1) ||
  fail "desktop-file-validate: $validate"
if grep -E ': (error|warning): ' <<< "$validate"; then fail "the menu entry has faults"; fi
lint=$(mandoc -Tlint -Wall "$usr/share/man/man6/fluids.6" 2>&1) || true
[ -z "$lint" ] || fail "mandoc: $lint"

echo "package check: $(basename "$deb") passed"
