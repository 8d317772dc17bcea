#!/usr/bin/env bash
# End-to-end: skinhost drives the demo skin; two runs at different sensor
# values give screenshots that differ exactly where the widgets bound to
# the changed sensors are, and nowhere else.
# Usage (under xvfb-run): demo_test.sh BUILD_DIR
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export VELQ_CHANNEL_SUFFIX="-e2e-demo-$$"
cd "$build"

# shot NAME SETTINGS...: the window area after the dashboard has shown values.
shot() {
  local name=$1; shift
  ./tools/skinhost/skinhost --skin demo --rate 20 "$@" --launch ./dashboard/SkinVELQ 2>"$work/$name.txt" &
  local host=$!
  wait_for window_by_class TSkinForm || fail "no demo window: $(cat "$work/$name.txt")"
  sleep 1.5
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop 640x400+120+80 +repage "$work/$name.png"
  kill $host; wait $host 2>/dev/null
  wait_for bash -c "! xdotool search --onlyvisible --classname TSkinForm" || fail "the dashboard outlived its host"
}

# The layout skinhost gives the demo skin: its sensors in slot order.
layout=$(./tools/skinhost/skinhost --skin demo --print-layout | tr '\n' ' ')
[ "$layout" = "1 ia1 2 ia2 3 ia3 4 ia4 5 ia5 6 ia6 7 ia7 8 ia8 " ] || fail "demo layout: $layout"

shot a --set ia1=1000 --set ia2=40 --set ia3=20 --set ia6=10
shot b --set ia1=6000 --set ia2=40 --set ia3=80 --set ia6=90
compare "$work/a.png" "$work/b.png" -compose src -highlight-color white -lowlight-color black "$work/diff.png" 2>/dev/null
# The widgets of ia1 (Rpm, the shift lights), ia3 (Fuel, Brake) and ia6 (Throttle): each must
# have changed, and blacking them out must leave no difference at all.
declare -A moved=([Rpm]="16,48 251,283" [ShiftLights]="262,14 381,31" [Fuel]="272,60 295,229" [Brake]="344,360 615,375"
                  [Throttle]="344,312 615,327")
mask=()
for name in "${!moved[@]}"; do
  read -r a b <<<"${moved[$name]}"
  x0=${a%,*}; y0=${a#*,}; x1=${b%,*}; y1=${b#*,}
  changed=$(convert "$work/diff.png" -crop $((x1 - x0 + 1))x$((y1 - y0 + 1))+$x0+$y0 +repage -format "%[fx:maxima]" info:)
  [ "$changed" != "0" ] || fail "$name did not change between the two values"
  mask+=(-draw "rectangle $x0,$y0 $x1,$y1")
done
# The clock and the scrolling banner run on their own time, so they may
# differ too; nothing requires it.
mask+=(-draw "rectangle 520,12 623,35" -draw "rectangle 24,368 330,399")
outside=$(convert "$work/diff.png" -fill black "${mask[@]}" -format "%[fx:maxima]" info:)
[ "$outside" = "0" ] || { cp "$work/diff.png" /tmp/demo-diff.png; fail "pixels changed outside the moved widgets (see /tmp/demo-diff.png)"; }
echo "ok: the screens differ exactly where the needle and the bars moved"
