#!/usr/bin/env bash
# skinrender draws one instant: a skin whose matrix scrolls every
# millisecond and whose clock keeps real time renders byte for byte as the
# same skin whose matrix would first move after a minute, ten times, two at
# a time (a busy machine is when ticks slip in). A render that lets the
# scroll timer tick shows the fast banner one or more steps on.
# Usage: skinrender_instant.sh SKINCONV SKINRENDER
set -u
skinconv=$1
skinrender=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir -p Skin/banner Skin/slow
cat > banner.cfg <<'CFG'
object Banner: TSkinForm
  BorderStyle = bsNone
  ClientHeight = 120
  ClientWidth = 300
  Color = clBlack
  OldCreateOrder = False
  OnCreate = FormCreate
  object Scroller: TSkinMatrix
    Left = 10
    Top = 10
    Leds = 12
    AutoScroll = True
    TimeInterval = 1
    Text = 'A BANNER THAT NEVER STOPS SCROLLING'
  end
  object Time: TSkinClock
    Left = 10
    Top = 60
  end
CFG
# Forty pictures to load after the widgets' timers have started: time in
# which an unstopped scroll timer ticks.
convert -size 300x20 gradient:red-blue Skin/banner/strip.png || { echo "FAIL: convert"; exit 1; }
for i in $(seq 1 40); do
  printf "  object Strip%d: TSkinBackground\n    Left = 0\n    Top = 100\n    Width = 300\n    Height = 20\n    BackgroundFile = 'banner/strip.png'\n  end\n" "$i" >> banner.cfg
done
echo end >> banner.cfg
sed 's/TimeInterval = 1$/TimeInterval = 60000/' banner.cfg > slow.cfg
"$skinconv" to-bin banner.cfg Skin/banner/skin.bin || { echo "FAIL: skinconv"; exit 1; }
"$skinconv" to-bin slow.cfg Skin/slow/skin.bin || { echo "FAIL: skinconv"; exit 1; }
for i in 1 2 3 4 5; do
  "$skinrender" --skin banner --out "a$i.png" --time 2026-01-01T10:00:00 &
  "$skinrender" --skin slow --out "b$i.png" --time 2026-01-01T10:00:00 &
  wait
done
sums=$(md5sum ./*.png | awk '{print $1}' | sort -u)
count=$(ls ./*.png | wc -l)
[ "$count" -eq 10 ] || { echo "FAIL: $count of 10 renders written"; exit 1; }
[ "$(echo "$sums" | wc -l)" -eq 1 ] || { echo "FAIL: renders differ:"; md5sum ./*.png; exit 1; }
echo "ok: ten renders of a scrolling skin are identical"
