#!/usr/bin/env bash
# skinconv converts every corpus file both ways byte-exactly: text -> binary
# -> text gives the file back, binary -> text -> binary the same binary; a
# broken file exits 1 with the error's message on stderr.
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
exit $status
