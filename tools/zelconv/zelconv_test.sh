#!/usr/bin/env bash
# zelconv against iconv on the test texts of every generated codeset, a text
# long enough to cross piece boundaries, and the error cases.
# usage: zelconv_test.sh ZELCONV TESTDATA ZELDIR
set -u
zelconv=$1 data=$2
export ZELDIR=$3
unset BINDIR ZEL_CODESET
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# iconv's output, with LF as NL (0x15) in EBCDIC, as our converters write it;
# 0x25 is LF alone in these pages, never part of a double-byte code.
expect() {
  case $1 in
    IBM*) iconv -f UTF-8 -t "$1" "$2" | tr '\045' '\025' ;;
    *) iconv -f UTF-8 -t "$1" "$2" ;;
  esac
}

# table name, iconv name
while read -r table iconv_name; do
  text=$data/$table.txt
  # 512 copies (doubled nine times): a longer text than the test's own.
  cp "$text" "$tmp/long.txt"
  for i in 1 2 3 4 5 6 7 8 9; do cat "$tmp/long.txt" "$tmp/long.txt" >"$tmp/double" && mv "$tmp/double" "$tmp/long.txt"; done
  expect "$iconv_name" "$tmp/long.txt" >"$tmp/expected" || fail "iconv $iconv_name"
  "$zelconv" -t "$table" "$tmp/long.txt" >"$tmp/ours" || fail "zelconv -t $table exit code"
  cmp -s "$tmp/expected" "$tmp/ours" || fail "zelconv -t $table differs from iconv on the long text"
  # The text once, from standard input.
  expect "$iconv_name" "$text" >"$tmp/expected" || fail "iconv $iconv_name"
  "$zelconv" -t "$table" <"$text" >"$tmp/ours" || fail "zelconv -t $table exit code"
  cmp -s "$tmp/expected" "$tmp/ours" || fail "zelconv -t $table differs from iconv on standard input"
done <<'LIST'
1250 CP1250
1251 CP1251
1252 CP1252
932 CP932
936 CP936
949 CP949
950 CP950
EUCJP EUC-JP
GB18030 GB18030
IBM037 IBM037
IBM1047 IBM1047
IBM930 IBM930
IBM939 IBM939
LIST

# Pieces end inside characters: with three-byte characters after none, one
# or two ASCII bytes, every piece boundary cuts a character in one of the
# three texts, whatever the size of the pieces. 1.5 MB cross many pieces read
# from a file, and many more read from a pipe.
printf '\xe3\x81\x82\xe3\x81\x84\xe3\x81\x86\xe3\x81\x88\xe3\x81\x8a%.0s' $(seq 4096) >"$tmp/kana"
for prefix in "" x xy; do
  printf '%s' "$prefix" >"$tmp/cuts.txt"
  for i in $(seq 25); do cat "$tmp/kana"; done >>"$tmp/cuts.txt"
  iconv -f UTF-8 -t CP932 "$tmp/cuts.txt" >"$tmp/expected" || fail "iconv CP932"
  "$zelconv" -t 932 "$tmp/cuts.txt" | cmp -s "$tmp/expected" - || fail "pieces read from a file cut characters ('$prefix')"
  "$zelconv" -t 932 <"$tmp/cuts.txt" | cmp -s "$tmp/expected" - || fail "pieces read from standard input cut characters ('$prefix')"
  cat "$tmp/cuts.txt" | "$zelconv" -t 932 | cmp -s "$tmp/expected" - || fail "pieces read from a pipe cut characters ('$prefix')"
done

# Aliases, the redirect file and UTF-8 itself.
"$zelconv" -t windows-1252 "$data/1252.txt" | cmp -s - <(iconv -f UTF-8 -t CP1252 "$data/1252.txt") || fail "alias windows-1252"
"$zelconv" -t IBM-1252 "$data/1252.txt" | cmp -s - <(iconv -f UTF-8 -t CP1252 "$data/1252.txt") || fail "redirect IBM-1252"
"$zelconv" -t utf-8 "$data/936.txt" | cmp -s - "$data/936.txt" || fail "utf-8 to utf-8"

# Bad UTF-8 is substituted and counted, never an error.
printf 'a\x80b\xc3\xa9\xe2\x98\x83' >"$tmp/bad"
out=$("$zelconv" -c -t 1252 "$tmp/bad" 2>"$tmp/count" | od -An -tx1 | tr -d ' \n') || fail "bad UTF-8 exit code"
[ "$out" = "613f62e93f" ] || fail "bad UTF-8 output $out"
[ "$(cat "$tmp/count")" = "2" ] || fail "substitution count $(cat "$tmp/count")"

# A sequence cut by the end of the input is reported, with or without -c, from
# a pipe and from a file; the text before it is still written.
printf 'a\xe2\x82' >"$tmp/cut"
for count in "" -c; do
  for source in pipe file; do
    if [ $source = pipe ]; then
      cat "$tmp/cut" | "$zelconv" $count -t 1252 >"$tmp/out" 2>"$tmp/err"
    else
      "$zelconv" $count -t 1252 "$tmp/cut" >"$tmp/out" 2>"$tmp/err"
    fi
    rc=$?
    [ $rc -eq 1 ] && [ "$(cat "$tmp/out")" = a ] && grep -q 'ends inside a character' "$tmp/err" ||
      fail "cut sequence at the end ($source $count): exit $rc, output $(od -An -tx1 "$tmp/out")"
  done
done

# Unknown codeset and unreadable file: a message and exit code 1.
"$zelconv" -t no-such-codeset "$data/1252.txt" >/dev/null 2>"$tmp/err"
[ $? -eq 1 ] && grep -q no-such-codeset "$tmp/err" || fail "unknown codeset"
"$zelconv" -t 1252 "$tmp/missing" >/dev/null 2>"$tmp/err"
[ $? -eq 1 ] && grep -q missing "$tmp/err" || fail "missing file"

# The list names the generated tables and the redirect.
list=$("$zelconv" -l)
for name in 1252 932 GB18030 IBM930 IBM1252 UTF8; do
  grep -qx "$name" <<<"$list" || fail "-l lacks $name"
done
grep -qx aliases <<<"$list" && fail "-l lists the aliases file"

[ $failures -eq 0 ] && echo "zelconv: all checks passed"
exit $((failures > 0))
