#!/usr/bin/env bash
# Checks what a user installs: first `cmake --install` of a fresh tree built
# as ./run.sh builds it; then the Debian package of a built tree, without
# installing it: its control fields, its file list, lintian, the unpacked
# program, menu entry, AppStream metadata and manual page, and that every
# place that names the version agrees with the CMake project version.
#
#   scripts/check_package.sh [build directory, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
fail() {
  echo "package check: $*" >&2
  exit 1
}

id=$(basename docs/*.metainfo.xml .metainfo.xml)  # the component id
icons=$(for size in 48 64 128 256; do echo "share/icons/hicolor/${size}x$size/apps/$id.png"; done)

# A fresh tree configured and built as ./run.sh does it (the default target,
# without tests and benchmarks), installed under a prefix: the program and
# its data, with the changelog and licence as they stand in the source.
fresh=$build/fresh-install
rm -rf "$fresh"
{ cmake -S . -B "$fresh" -DCMAKE_BUILD_TYPE=Release -DFLUIDS_BUILD_TESTS=OFF -DFLUIDS_BUILD_BENCH=OFF &&
  cmake --build "$fresh" -j 2 &&
  cmake --install "$fresh" --prefix "$fresh/prefix"; } > "$build/fresh-install.log" 2>&1 ||
  { tail -n 30 "$build/fresh-install.log"; fail "a fresh build did not install"; }
files=$(cd "$fresh/prefix" && find . -type f | sed 's|^\./||' | sort)
expected=$(sort <<< "bin/fluids
share/applications/$id.desktop
share/doc/fluids/CHANGELOG.md
share/doc/fluids/LICENSE
share/doc/fluids/README.md
$icons
share/man/man6/fluids.6.gz
share/metainfo/$id.metainfo.xml")
[ "$files" = "$expected" ] || fail "the fresh build installed"$'\n'"$files"$'\n'"instead of"$'\n'"$expected"
cmp -s LICENSE "$fresh/prefix/share/doc/fluids/LICENSE" || fail "the installed LICENSE differs"
rm -rf "$fresh"

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
expected=$(sort <<< "./usr/bin/fluids
./usr/share/applications/$id.desktop
./usr/share/doc/fluids/README.md
./usr/share/doc/fluids/changelog.gz
./usr/share/doc/fluids/copyright
$(sed 's|^|./usr/|' <<< "$icons")
./usr/share/man/man6/fluids.6.gz
./usr/share/metainfo/$id.metainfo.xml")
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
# asks for, are allowed), its icon is in the package, the AppStream metadata
# validates (infos allowed) and the manual page lints clean.
desktop=$usr/share/applications/$id.desktop
validate=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $validate"
if grep -E ': (error|warning): ' <<< "$validate"; then fail "the menu entry has faults"; fi
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ "$icon" = "$id" ] || fail "the menu entry's icon is '$icon', not the component id $id"
for size in 48 64 128 256; do
  png=$usr/share/icons/hicolor/${size}x$size/apps/$icon.png
  file "$png" | grep -q "PNG image data, $size x $size," || fail "no $size px icon '$icon' in the package"
done
metainfo=$usr/share/metainfo/$id.metainfo.xml
appstream=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli: $appstream"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch $id.desktop"
lint=$(mandoc -Tlint -Wall "$usr/share/man/man6/fluids.6.gz" 2>&1) || true
[ -z "$lint" ] || fail "mandoc: $lint"

# The version is the CMake project's; the changelog's latest release, the
# metainfo's latest release and the manual page's footer name it, and the
# metainfo gives the changelog's date.
changelog=$(zcat "$usr/share/doc/fluids/changelog.gz")
release=$(awk '/^## \[[0-9]/ { gsub(/[][]/, "", $2); print $2, $4; exit }' CHANGELOG.md)
[ "${release% *}" = "$version" ] || fail "CHANGELOG.md's latest release is '$release', not $version"
head -n 1 <<< "$changelog" | grep -q "^fluids ($version) " || fail "the packaged changelog is not of $version"
grep -q "<release version=\"$version\" date=\"${release#* }\"" <<< "$(grep -m 1 '<release ' "$metainfo")" ||
  fail "the metainfo's latest release is not $release"
grep -q "^\.TH FLUIDS 6 [0-9-]* \"fluids $version\"" <(zcat "$usr/share/man/man6/fluids.6.gz") ||
  fail "the manual page's footer does not name fluids $version"

# Lintian, pedantic: no error and no warning; what else it says is shown.
tags=$(lintian --pedantic --display-info --fail-on error,warning "$deb" 2>&1) ||
  fail "lintian:"$'\n'"$tags"
grep -v 'running with root privileges' <<< "$tags" || true

echo "package check: $(basename "$deb") passed"
