#!/usr/bin/env bash
# skinrender --print-state on the demo skin: one JSON object per component in
# the skin's order, with what each widget shows for the given values and a
# fixed clock time.
# Usage: print_state_test.sh BUILD_DIR SKIN_CFG
set -u
build=$1
cfg=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$build" || fail "no build directory"
export VELQ_CHANNEL_SUFFIX="-print-state-$$"
state=$(./tools/skinrender/skinrender --skin demo --print-state --time 2026-12-10T13:05:09 \
          --set ia1=3500 --set ia2=87.6 --set ia8=-3.5) || fail "skinrender failed"
expect() { grep -qxF "$1" <<<"$state" || fail "missing line: $1
got:
$state"; }
expect '{"name": "Background", "class": "TSkinBackground"}'
expect '{"name": "Rpm", "class": "TSkinAngularGauge", "position": 3500}'
expect '{"name": "Odometer", "class": "TSkinCounter", "value": 0}'
expect '{"name": "SpeedNumber", "class": "TSkinNum", "value": 87}'
expect '{"name": "Clock", "class": "TSkinClock", "text": "13:05:09"}'
# Every component of the skin, in its order.
names=$(sed -n 's/^{"name": "\([^"]*\)".*/\1/p' <<<"$state" | tr '\n' ' ')
want=$(sed -n 's/^  object \([A-Za-z0-9_]*\):.*/\1/p' "$cfg" | tr '\n' ' ')
[ "$names" = "$want" ] || fail "components: '$names', skin: '$want'"
# A malformed time is a usage error.
./tools/skinrender/skinrender --skin demo --print-state --time 2026-02-30T10:00:00 >/dev/null 2>&1
[ $? -eq 2 ] || fail "a 30 February was accepted"
echo "ok: print-state reports every component"
