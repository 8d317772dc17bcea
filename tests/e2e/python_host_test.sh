#!/usr/bin/env bash
# End-to-end: the Python wrapper (ctypes over libvelqhost) launches the
# dashboard on the demo skin and drives it; two fuel levels give two
# screenshots that differ in the fuel bar and nowhere in the load bar.
# Usage (under xvfb-run): python_host_test.sh BUILD_DIR SOURCE_DIR
set -u
build=$1 source=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
enter_workdir "$build" python
cp -r "$build/Skin/demo" Skin/demo

PYTHONPATH="$source/tools/python" PYTHONDONTWRITEBYTECODE=1 VELQHOST_LIBRARY="$build/host/libvelqhost.so.1" \
  python3 - "$velq" "$work" >host.txt 2>&1 <<'PY' || fail "the Python host failed: $(cat host.txt)"
import subprocess, sys, time
import velqhost

velq, work = sys.argv[1], sys.argv[2]

def frames(channel, seconds, **values):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        for sensor, value in values.items():
            channel[sensor] = value
        # A running dashboard takes the frame, or drops it when it is behind.
        result = channel.notify()
        assert result in (velqhost.NotifyResult.DELIVERED, velqhost.NotifyResult.BUSY), result
        time.sleep(0.05)

def window_shown():
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", "TSkinForm"],
                          capture_output=True).returncode == 0

with velqhost.Channel("demo", work_dir=work) as channel:
    assert channel.sensors[:4] == ["ia1", "ia2", "ia3", "ia4"], channel.sensors
    try:
        channel["ia9"] = 1
        raise SystemExit("an unused sensor was accepted")
    except velqhost.SensorError as e:
        assert e.status == velqhost.Status.UNKNOWN_SENSOR and "ia9" in e.detail, e
    channel.launch(velq)
    deadline = time.monotonic() + 30
    while not window_shown():
        if time.monotonic() > deadline:
            raise SystemExit("no skin window")
        time.sleep(0.1)
    frames(channel, 1.5, ia3=90.0)
    subprocess.run(["import", "-window", "root", "shot1.png"], check=True)
    frames(channel, 1.5, ia3=10.0)
    subprocess.run(["import", "-window", "root", "shot2.png"], check=True)
    assert channel.wait_dashboard(0) is None, "the dashboard ended early"
print("python host done")
PY
for n in 1 2; do
  convert "shot$n.png" -crop 24x170+392+140 +repage "fuel$n.png"
  convert "shot$n.png" -crop 300x22+144+396 +repage "load$n.png"
done
[ "$(compare -metric AE fuel1.png fuel2.png null: 2>&1 || true)" != "0" ] || fail "the fuel bar did not follow the Python host"
[ "$(compare -metric AE load1.png load2.png null: 2>&1 || true)" = "0" ] || fail "the load bar changed"
wait_for bash -c "! xdotool search --onlyvisible --classname TSkinForm" || fail "closing the channel did not end the dashboard"
[ ! -e "$block" ] || fail "the Python host left its shared block behind"
echo "ok: the Python wrapper drives a live dashboard"
