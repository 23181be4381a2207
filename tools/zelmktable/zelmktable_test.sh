#!/usr/bin/env bash
# zelmktable's refusals: bad usage, an unknown iconv codeset, and a codeset
# whose characters do not fit the kind of table asked for. Each leaves no file.
# usage: zelmktable_test.sh ZELMKTABLE
set -u
zelmktable=$1
failures=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
expect() {
  local want=$1 what=$2
  shift 2
  "$@" >/dev/null 2>"$tmp/err"
  local got=$?
  [ "$got" -eq "$want" ] || { echo "FAIL: $what: exit $got, expected $want"; failures=$((failures + 1)); }
  [ -e "$tmp/out" ] && { echo "FAIL: $what: wrote a table"; failures=$((failures + 1)); rm -f "$tmp/out"; }
}
expect 2 "usage" "$zelmktable" sbcs CP1252
expect 2 "unknown kind" "$zelmktable" triple CP1252 1252 "$tmp/out"
expect 1 "unknown iconv codeset" "$zelmktable" sbcs NO-SUCH-CODESET X "$tmp/out"
expect 1 "double-byte codeset as single-byte" "$zelmktable" sbcs CP932 932 "$tmp/out"
expect 1 "four-byte codes in a double-byte table" "$zelmktable" dbcs GB18030 GB "$tmp/out"
# A good one writes a table.
"$zelmktable" sbcs CP1252 1252 "$tmp/good" && [ -s "$tmp/good" ] || { echo "FAIL: CP1252"; failures=$((failures + 1)); }
[ $failures -eq 0 ] && echo "zelmktable: all checks passed"
exit $((failures > 0))
