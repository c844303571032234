#!/usr/bin/env bash
# Writes the released versions of CHANGELOG.md ("Keep a Changelog" form) in
# Debian's changelog format, the form Debian's tools read from a native
# package's usr/share/doc/<package>/changelog.gz. Sections without a date
# (Unreleased) are left out; a release's trailer carries its date.
#
#   scripts/debian_changelog.sh CHANGELOG.md "Name <address>" output
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 CHANGELOG.md maintainer output" >&2; exit 2; }
awk -v maintainer="$2" '
function close_entry(  cmd, stamp) {
  if (!open) return
  cmd = "date -u -R -d " date
  cmd | getline stamp
  close(cmd)
  printf "\n -- %s  %s\n", maintainer, stamp
  open = 0
}
/^## / {
  close_entry()
  version = $2; gsub(/[][]/, "", version); date = $4
  if (date !~ /^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/) next
  if (entries++) print ""
  printf "fluids (%s) unstable; urgency=medium\n", version
  open = 1; blank = 1
  next
}
!open { next }
/^$/ { blank = 1; next }
{
  if (blank) print ""
  blank = 0
  if (sub(/^### /, "")) print "  " $0 ":"
  else if (sub(/^- /, "")) print "  * " $0
  else if (/^  /) print "  " $0
  else print "  * " $0
}
END { close_entry() }
' "$1" > "$3"
