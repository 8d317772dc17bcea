#!/usr/bin/env bash
# How our metafile player's pictures compare with GDI's own, file by file:
# every .emf and .wmf under the given directories (default
# tests/data/metafiles/corpus) is drawn at the player's size for it
# (`mfrender --size`: its own size, at most 2000 pixels a side) by
# gdiref.exe under Wine (GDI's players) and by mfrender (ours), and the two
# pictures are measured by mfcompare (tools/metafile-tools/InkCompare.h).
#
#   tests/metafiles/compare_with_gdi.sh [--linux-build DIR] [--windows-build DIR]
#                                       [--keep DIR] [DIR...]
#
#   --linux-build DIR    the Linux build with mfrender and mfcompare
#                        (default build/: cmake --build build --target
#                        mfrender mfcompare)
#   --windows-build DIR  the Windows build with gdiref.exe and the Wine
#                        prefix wine-prefix/ (default build-win64/:
#                        cmake --build build-win64 --target gdiref); a
#                        WINEPREFIX in the environment is used instead
#   --keep DIR           keeps both pictures of every file there
#                        (NAME.gdi.ppm, NAME.ours.ppm)
#
# Prints one row per file:
#   file | size WxH | similarity | inkGDI | inkOurs | stray | note
# inkGDI and inkOurs count ink pixels, stray counts blends of ours on solid
# edges in colours GDI never draws (anti-aliasing; see InkCompare.h). Notes:
#   refused     our player raises (the file is drawn by GDI at 512 x 512,
#               and ours counts as a blank picture of that size);
#   blank       ours draws nothing where GDI draws;
#   gdi blank   GDI draws nothing where ours draws;
#   gdi failed  gdiref did not play the file (no similarity; left out of
#               the figures below), with its status and message;
#   ours failed mfrender stopped otherwise (time-out, crash).
# Then: the number of files, the median similarity, how many are below
# 0.5, and how many ours refuses or leaves blank while GDI draws them.
#
# Wine: one persistent wineserver serves the whole run (started here
# unless one already serves the prefix, and then ended at the end); no X
# display is needed (gdiref draws into memory only).
#
# Exit status: 0 when the table was made (whatever the figures), 2 when
# something it needs is missing or an argument is wrong.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
linux=$root/build
windows=$root/build-win64
keep=
dirs=()

die() {
  echo "compare_with_gdi: $*" >&2
  exit 2
}

while [ $# -gt 0 ]; do
  case "$1" in
    --linux-build) [ $# -ge 2 ] || die "--linux-build needs a directory"; linux=$2; shift 2 ;;
    --windows-build) [ $# -ge 2 ] || die "--windows-build needs a directory"; windows=$2; shift 2 ;;
    --keep) [ $# -ge 2 ] || die "--keep needs a directory"; keep=$2; shift 2 ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) dirs+=("$1"); shift ;;
  esac
done
[ ${#dirs[@]} -gt 0 ] || dirs=("$root/tests/data/metafiles/corpus")
# Absolute paths: Wine wants them (its prefix, the files it reads).
linux=$(cd "$linux" 2>/dev/null && pwd) || die "no Linux build directory"
windows=$(cd "$windows" 2>/dev/null && pwd) || die "no Windows build directory"

mfrender=$linux/tools/metafile-tools/mfrender
mfcompare=$linux/tools/metafile-tools/mfcompare
gdiref=$windows/tools/metafile-tools/gdiref.exe
for tool in "$mfrender" "$mfcompare" "$gdiref"; do
  [ -x "$tool" ] || [ -f "$tool" ] || die "$tool is missing (see --help for how to build it)"
done
for dir in "${dirs[@]}"; do
  [ -d "$dir" ] || die "no directory $dir"
done
if [ -n "$keep" ]; then
  mkdir -p "$keep"
  keep=$(cd "$keep" && pwd)
fi

wine64=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || true)
[ -n "$wine64" ] || die "no wine64 (scripts/setup-deps installs it)"
wineserver=$(dirname "$wine64")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[ -x "$wineserver" ] || die "no wineserver beside $wine64"
export WINEPREFIX=${WINEPREFIX:-$windows/wine-prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Windows paths of our files: Wine's drive Z: is the Unix root.
winpath() { echo "Z:$1"; }

work=$(mktemp -d)
wine_started=0
cleanup() {
  if [ "$wine_started" -eq 1 ]; then
    "$wineserver" -k >/dev/null 2>&1 || true
    timeout 30 "$wineserver" -w >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ ! -e "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix $WINEPREFIX" >&2
  timeout 300 env -u DISPLAY "$wine64" wineboot -i >"$work/wineboot.log" 2>&1 || true
  timeout 60 "$wineserver" -w || true
  [ -e "$WINEPREFIX/system.reg" ] || die "Wine could not create its prefix: $(tail -n 5 "$work/wineboot.log")"
fi
# One server for the run: each gdiref then starts in a fraction of a second.
if "$wineserver" -p >/dev/null 2>&1; then wine_started=1; fi

# white W H FILE: a white picture (what a refused file shows).
white() {
  { printf 'P6\n%d %d\n255\n' "$1" "$2"; head -c $(($1 * $2 * 3)) /dev/zero | tr '\0' '\377'; } >"$3"
}
# first_line FILE: its first line without the program's name, or nothing.
first_line() { head -n 1 "$1" 2>/dev/null | tr -d '\r' | sed 's/^[a-z]*: //' || true; }

# The files, with the names the table shows (relative to their directory,
# prefixed with the directory's name when there are several).
files=()
names=()
for dir in "${dirs[@]}"; do
  dir=$(cd "$dir" && pwd)
  while IFS= read -r -d '' file; do
    files+=("$file")
    name=${file#"$dir"/}
    [ ${#dirs[@]} -eq 1 ] || name=$(basename "$dir")/$name
    names+=("$name")
  done < <(find "$dir" -type f \( -iname '*.emf' -o -iname '*.wmf' \) -print0 | sort -z)
done
[ ${#files[@]} -gt 0 ] || die "no .emf or .wmf files in ${dirs[*]}"

width=4
for name in "${names[@]}"; do [ ${#name} -le "$width" ] || width=${#name}; done
row() { printf "%-${width}s | %-11s | %10s | %8s | %8s | %6s | %s\n" "$@"; }
row file "size WxH" similarity inkGDI inkOurs stray note
row "$(printf '%*s' "$width" '' | tr ' ' -)" ----------- ---------- -------- -------- ------ ----

similarities=()
below=0
ours_missing=0
gdi_failed=0
for i in "${!files[@]}"; do
  file=${files[$i]}
  name=${names[$i]}
  note=
  ours=$work/ours.ppm gdi=$work/gdi.ppm
  rm -f "$ours" "$gdi"

  refused=0
  if size=$(timeout 60 "$mfrender" --size "$file" 2>"$work/ours.err"); then
    read -r w h <<<"$size"
  else
    refused=1
    w=512 h=512
  fi
  if [ "$refused" -eq 0 ]; then
    status=0
    timeout 300 "$mfrender" "$file" "$ours" "$w" "$h" 2>"$work/ours.err" || status=$?
    case $status in
      0) ;;
      2) refused=1 ;;
      *) note="ours failed (status $status: $(first_line "$work/ours.err"))" ;;
    esac
  fi
  [ "$refused" -eq 0 ] || note="refused ($(first_line "$work/ours.err"))"
  [ -s "$ours" ] || white "$w" "$h" "$ours"

  status=0
  timeout 300 env -u DISPLAY "$wine64" "$gdiref" "$(winpath "$file")" "$(winpath "$gdi")" "$w" "$h" \
    >/dev/null 2>"$work/gdi.err" || status=$?
  if [ "$status" -ne 0 ] || [ ! -s "$gdi" ]; then
    gdi_failed=$((gdi_failed + 1))
    note="gdi failed (status $status: $(first_line "$work/gdi.err"))${note:+; $note}"
    ink_ours=$("$mfcompare" "$ours" "$ours" | cut -d' ' -f2)
    row "$name" "${w}x${h}" - - "$ink_ours" - "$note"
    continue
  fi
  if [ -n "$keep" ]; then
    base=${name//\//_}
    cp "$gdi" "$keep/$base.gdi.ppm"
    cp "$ours" "$keep/$base.ours.ppm"
  fi

  if ! result=$("$mfcompare" "$ours" "$gdi" 2>"$work/compare.err"); then
    row "$name" "${w}x${h}" - - - - "not compared ($(first_line "$work/compare.err"))${note:+; $note}"
    continue
  fi
  read -r similarity ink_ours ink_gdi stray <<<"$result"
  if [ "$ink_gdi" -gt 0 ] && { [ "$refused" -eq 1 ] || [ "$ink_ours" -eq 0 ]; }; then
    ours_missing=$((ours_missing + 1))
  fi
  if [ "$refused" -eq 0 ] && [ -z "$note" ]; then
    if [ "$ink_ours" -eq 0 ] && [ "$ink_gdi" -gt 0 ]; then note=blank; fi
    if [ "$ink_gdi" -eq 0 ] && [ "$ink_ours" -gt 0 ]; then note="gdi blank"; fi
  fi
  similarities+=("$similarity")
  if awk -v s="$similarity" 'BEGIN { exit !(s < 0.5) }'; then below=$((below + 1)); fi
  row "$name" "${w}x${h}" "$similarity" "$ink_gdi" "$ink_ours" "$stray" "$note"
done

median=-
if [ ${#similarities[@]} -gt 0 ]; then
  median=$(printf '%s\n' "${similarities[@]}" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.4f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
fi
echo
echo "files: ${#files[@]} (compared: ${#similarities[@]}, gdi failed: $gdi_failed)"
echo "median similarity: $median"
echo "below 0.5: $below"
echo "refused or blank on our side while GDI draws: $ours_missing"
