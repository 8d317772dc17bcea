#!/usr/bin/env bash
# skinrender --block renders what a running host has put in the shared block:
# skinhost holds known values for the demo skin on a private channel, and
# --block --print-state must print exactly what --set with the same values
# prints. A block laid out for a skin with fewer sensors gives the missing
# ones 0 and names them; no block at all is status 1 with the block's name.
# Usage: skinrender_block_test.sh SKINCONV SKINHOST SKINRENDER BUILD_DIR
set -u
skinconv=$1
skinhost=$2
skinrender=$3
build=$4
work=$(mktemp -d)
host_pid=
stop_host() {
  if [ -n "$host_pid" ]; then
    kill "$host_pid" 2>/dev/null
    wait "$host_pid" 2>/dev/null
    host_pid=
  fi
}
trap 'stop_host; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$work" || fail "no work directory"
mkdir Skin
cp -r "$build/Skin/demo" Skin/ || fail "no demo skin in $build/Skin"
# The copy is what the build converted: its binary is current (else every
# render says on stderr that it reads the text form).
touch Skin/demo/skin.bin
export VELQ_CHANNEL_SUFFIX="-skinrender-block-$$"
# The test reads skinrender's standard error; in a sanitizer build the leak
# checker would add its list of suppressions used there.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0"
block="/Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}$VELQ_CHANNEL_SUFFIX"
time=2026-12-10T13:05:09

# Every sensor of the demo skin with a value of its own, none of them 0, so a
# slot read from the wrong place shows.
sets=(ia1=3500 ia2=87.6 ia3=42.5 ia4=91.25 ia5=63 ia6=17.5 ia7=1.375 ia8=12345)
layout=$("$skinhost" --skin demo --print-layout | awk '{print $2}' | sort | tr '\n' ' ')
[ "$layout" = "$(printf '%s\n' "${sets[@]%%=*}" | sort | tr '\n' ' ')" ] ||
  fail "the demo skin's sensors are '$layout'; the values below no longer cover them"
set_args=()
for s in "${sets[@]}"; do set_args+=(--set "$s"); done

expected=$("$skinrender" --skin demo --print-state --time $time "${set_args[@]}") || fail "skinrender --set"
zeros=$("$skinrender" --skin demo --print-state --time $time) || fail "skinrender without values"
[ "$expected" != "$zeros" ] || fail "the values change nothing the state shows"
grep -qxF '{"name": "Rpm", "class": "TSkinAngularGauge", "position": 3500}' <<<"$expected" ||
  fail "Rpm does not show 3500:
$expected"

# Reads the block until the host has written its first frame (skinhost
# creates it zeroed and fills it a moment later), at most 50 tries.
read_block() { # expected output; the skin's arguments follow
  local want=$1 got=
  shift
  for _ in $(seq 50); do
    got=$("$skinrender" --skin demo --print-state --time $time --block "$@" 2>"$work/err.txt") &&
      [ "$got" = "$want" ] && return 0
    sleep 0.2
  done
  fail "--block printed:
$got
stderr: $(cat "$work/err.txt")
expected:
$want"
}

# No host: no block.
out=$("$skinrender" --skin demo --print-state --block 2>err.txt)
status=$?
[ "$status" -eq 1 ] || fail "no block: status $status, output: $out"
[ -z "$out" ] || fail "no block printed a state: $out"
grep -qF "skinrender: cannot open the data block $block" err.txt || fail "no block: message $(cat err.txt)"

# The host holds the values.
"$skinhost" --skin demo --rate 5 --duration 300 "${set_args[@]}" >host.txt 2>&1 &
host_pid=$!
read_block "$expected"
[ -s err.txt ] && fail "a full block gave a message: $(cat err.txt)"
# --set still wins over the block.
pinned=$("$skinrender" --skin demo --print-state --time $time "${set_args[@]}" --set ia1=1200) || fail "pinned"
read_block "$pinned" --set ia1=1200
stop_host

# A host laid out for a skin whose only sensor is ia1: the block has one
# slot, and the demo skin's other sensors read 0 and are named.
mkdir -p Skin/one
printf '%s\n' 'object One: TSkinForm' '  ClientHeight = 10' '  ClientWidth = 10' \
  '  object Needle: TSkinAngularGauge' '    AnalogSensor = ia1' '  end' 'end' >Skin/one/skin.cfg
"$skinconv" to-bin Skin/one/skin.cfg Skin/one/skin.bin || fail "skinconv"
[ "$("$skinhost" --skin one --print-layout)" = "1 ia1" ] || fail "the one-sensor skin's layout"
"$skinhost" --skin one --rate 5 --duration 300 --set ia1=3500 >host.txt 2>&1 &
host_pid=$!
short=$("$skinrender" --skin demo --print-state --time $time --set ia1=3500) || fail "skinrender --set ia1"
read_block "$short"
grep -qxF "skinrender: the data block $block has 1 of the skin's 8 slots; no value for ia2 ia3 ia4 ia5 ia6 ia7 ia8 (read as 0)" \
  err.txt || fail "short block: message $(cat err.txt)"
stop_host
echo "ok: skinrender --block shows the host's values"
