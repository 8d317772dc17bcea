#!/usr/bin/env bash
# skinconv converts every corpus file both ways byte-exactly: text -> binary
# -> text gives the file back, binary -> text -> binary the same binary; a
# broken file exits 1 with the error's message on stderr. It never replaces
# a file it could not have written (a hand-written text skin) without
# --force, and to-text without an output writes to standard output.
# Usage: skinconv_roundtrip.sh SKINCONV CORPUS_DIR
set -u
skinconv=$1
corpus=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for cfg in "$corpus"/*.cfg; do
  name=$(basename "$cfg" .cfg)
  "$skinconv" to-bin "$cfg" "$work/$name.bin" || { echo "to-bin failed: $cfg"; status=1; continue; }
  "$skinconv" to-text "$work/$name.bin" "$work/$name.cfg" || { echo "to-text failed: $cfg"; status=1; continue; }
  cmp -s "$cfg" "$work/$name.cfg" || { echo "text differs after a round trip: $cfg"; status=1; }
  "$skinconv" to-bin "$work/$name.cfg" "$work/$name.again.bin"
  cmp -s "$work/$name.bin" "$work/$name.again.bin" || { echo "binary differs after a round trip: $cfg"; status=1; }
  "$skinconv" dump "$work/$name.bin" >/dev/null || { echo "dump failed: $cfg"; status=1; }
done
printf 'object A: T\r\n  P 1\r\nend\r\n' > "$work/broken.cfg"
if "$skinconv" to-bin "$work/broken.cfg" 2>"$work/err.txt"; then echo "a syntax error exited 0"; status=1; fi
grep -qxF "'=' attendu à la ligne 2" "$work/err.txt" || { echo "syntax error text: $(cat "$work/err.txt")"; status=1; }
# The default output name is the input's with the other extension.
cp "$corpus/minimal.cfg" "$work/default.cfg"
"$skinconv" to-bin "$work/default.cfg" && [ -s "$work/default.bin" ] || { echo "no default output name"; status=1; }
# Work is never lost.
cp "$corpus/minimal.cfg" "$work/hand.cfg"
printf '\n// the author\'s notes\n' >> "$work/hand.cfg"
cp "$work/hand.cfg" "$work/hand.orig"
if "$skinconv" to-text "$work/default.bin" "$work/hand.cfg" 2>"$work/err.txt"; then
  echo "to-text replaced a hand-written file"; status=1
fi
cmp -s "$work/hand.cfg" "$work/hand.orig" || { echo "the hand-written file changed"; status=1; }
grep -q "not replaced (--force replaces it)" "$work/err.txt" || { echo "refusal text: $(cat "$work/err.txt")"; status=1; }
if "$skinconv" to-bin "$work/default.cfg" "$work/hand.cfg" 2>/dev/null; then
  echo "to-bin replaced a file that is not a binary skin"; status=1
fi
"$skinconv" to-text "$work/default.bin" "$work/hand.cfg" --force || { echo "--force did not replace"; status=1; }
cmp -s "$work/hand.cfg" "$corpus/minimal.cfg" || { echo "--force wrote something else"; status=1; }
"$skinconv" to-text "$work/default.bin" > "$work/stdout.cfg" || { echo "to-text to stdout failed"; status=1; }
cmp -s "$work/stdout.cfg" "$corpus/minimal.cfg" || { echo "to-text without an output did not print the skin"; status=1; }
# A binary skin is the conversion's own output: to-bin replaces it.
"$skinconv" to-bin "$work/default.cfg" "$work/default.bin" || { echo "to-bin did not replace a binary skin"; status=1; }
exit $status
