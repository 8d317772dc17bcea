#!/usr/bin/env bash
# End-to-end: the example Java host reads a simulated KVLv1 device over a
# pseudo-terminal through serialKVL and drives the demo skin through the
# host jar and libvelqhost. Two device states give two screenshots that
# differ where the bound widgets are (rpm and speed gauges, fuel and
# temperature bars) and nowhere the device does not feed (the load bar).
# Closing the dashboard's window ends the host, which removes its block.
# Usage (under xvfb-run): device_host_test.sh BUILD_DIR JAVA HOST_JAR EXAMPLE_CLASSES
set -u
build=$1 java=$2 jar=$3 classes=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
enter_workdir "$build" device
cp -r "$build/Skin/demo" Skin/demo

mkdir ports
echo "1000 20 30 80" > device.txt
"$build/tools/kvldevice/kvldevice" --link ports/com7 --values device.txt >device.log 2>&1 &
wait_for test -L ports/com7 || fail "the device simulator did not start: $(cat device.log)"

SERIALKVL_PORTS=$work/ports "$java" -Djava.library.path="$build/host:$build/serial" -cp "$jar:$classes" \
  DeviceHost --port COM7 --work "$work" --dashboard "$velq" --rate 20 >host.txt 2>&1 &
host=$!
wait_for window_by_class TSkinForm || fail "no skin window: $(cat host.txt)"
grep -q "slot layout of demo: ia1 ia2 ia3 ia4" host.txt || fail "unexpected layout: $(cat host.txt)"

# region NAME X Y W H: that rectangle of the window in shot N, as a file.
shot() { import -window root "screen$1.png" && convert "screen$1.png" -crop 640x400+120+80 +repage "window$1.png"; }
region() { convert "window$1.png" -crop "$4x$5+$2+$3" +repage "$1-$6.png"; }
differs() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" != "0" ]; }
regions() { # shot number
  region "$1" 16 48 236 236 rpm; region "$1" 388 48 236 236 speed
  region "$1" 272 60 24 170 fuel; region "$1" 344 60 24 170 temperature
  region "$1" 24 316 300 22 load
}

sleep 1.5
shot 1 && regions 1
echo "6500 180 100 15" > device.txt
wait_for bash -c "import -window root probe.png && convert probe.png -crop 24x170+392+140 +repage probe-fuel.png && \
  [ \"\$(compare -metric AE probe-fuel.png 1-fuel.png null: 2>&1 || true)\" != 0 ]" \
  || fail "the fuel bar did not follow the device"
sleep 1
shot 2 && regions 2
for widget in rpm speed fuel temperature; do
  differs "1-$widget.png" "2-$widget.png" || fail "the $widget widget did not change with the device"
done
differs 1-load.png 2-load.png && fail "the load bar, which the device does not feed, changed"
echo "ok: two device states, two screens differing where the bound widgets are"

xdotool windowclose "$(window_by_class TSkinForm)"
wait_for bash -c "! kill -0 $host" || fail "the host still runs after the window was closed"
[ ! -e "$block" ] || fail "the host left its shared block behind"
grep -q "Exception\|DeviceHost:" host.txt && fail "the host reported: $(cat host.txt)"
echo "ok: closing the window ends the example host, which removes its block"
