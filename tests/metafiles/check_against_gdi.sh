#!/usr/bin/env bash
# Holds our metafile player to GDI: runs compare_with_gdi.sh over the corpus
# and the mfsamples samples and fails when
#   - the median similarity falls below 0.9,
#   - a file scores more than 0.05 below its figure in baseline.txt, or
#   - a file is refused that the baseline does not list as refused, or
#   - a file's picture has more than 100 stray pixels (blends on solid edges
#     in colours GDI never draws there: anti-aliasing, which GDI never does).
# Prints the table, then one PASS or FAIL line per rule; exits 1 on a FAIL.
# baseline.txt is "file similarity [refused]" per line; refresh it with
# --write-baseline after an improvement (and say so in the commit).
#
#   tests/metafiles/check_against_gdi.sh [--write-baseline] [--linux-build DIR] [--windows-build DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here="$root/tests/metafiles"
write=0
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --write-baseline) write=1; shift ;;
    *) args+=("$1"); shift ;;
  esac
done
linux="$root/build"
for ((i = 0; i < ${#args[@]}; i++)); do
  [ "${args[$i]}" = --linux-build ] && linux=${args[$((i + 1))]}
done

samples=$(mktemp -d)
table=$(mktemp)
trap 'rm -rf "$samples" "$table"' EXIT
mkdir -p "$samples/samples"
"$linux/tools/mfsamples/mfsamples" all "$samples/samples"
"$here/compare_with_gdi.sh" "${args[@]}" "$root/tests/data/metafiles/corpus" "$samples/samples" | tee "$table"

# Rows: file | size | similarity | inkGDI | inkOurs | stray | note
rows=$(awk -F'|' 'NF >= 7 && $1 !~ /^file|^---/ {
  gsub(/^ +| +$/, "", $1); gsub(/^ +| +$/, "", $3); gsub(/^ +| +$/, "", $7)
  gsub(/^ +| +$/, "", $6)
  if ($3 != "-") print $1, $3, $6, ($7 ~ /^refused/ ? "refused" : "")
}' "$table")

if [ "$write" -eq 1 ]; then
  printf '%s\n' "$rows" | awk '{print $1, $2, $4}' >"$here/baseline.txt"
  echo "wrote $here/baseline.txt ($(printf '%s\n' "$rows" | wc -l) files)"
  exit 0
fi

failed=0
median=$(printf '%s\n' "$rows" | awk '{print $2}' | sort -g | awk '{a[NR] = $1} END {
  if (NR == 0) print 0; else if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }')
if awk -v m="$median" 'BEGIN { exit !(m >= 0.9) }'; then
  echo "PASS median similarity to GDI $median (at least 0.9)"
else
  echo "FAIL median similarity to GDI $median (below 0.9)"
  failed=1
fi
while read -r file similarity stray note; do
  if [ "$stray" -gt 100 ]; then
    echo "FAIL $file: $stray stray pixels (blended edges GDI does not draw)"
    failed=1
  fi
  baseSimilarity=$(awk -v f="$file" '$1 == f {print $2}' "$here/baseline.txt")
  baseNote=$(awk -v f="$file" '$1 == f {print $3}' "$here/baseline.txt")
  if [ -z "$baseSimilarity" ]; then
    echo "FAIL $file: not in baseline.txt (add it with --write-baseline)"
    failed=1
    continue
  fi
  if awk -v s="$similarity" -v b="$baseSimilarity" 'BEGIN { exit !(s < b - 0.05) }'; then
    echo "FAIL $file: similarity $similarity, baseline $baseSimilarity"
    failed=1
  fi
  if [ "${note:-}" = refused ] && [ "$baseNote" != refused ]; then
    echo "FAIL $file: refused by our player, drawn before"
    failed=1
  fi
done <<<"$rows"
[ "$failed" -eq 0 ] && echo "PASS every file within 0.05 of its baseline, none newly refused, none with blended edges"
exit "$failed"
