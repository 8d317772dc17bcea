#!/usr/bin/env bash
# Runs the Java binding's test in a real JVM under -Xcheck:jni and fails on
# any JNI warning (the test's child JVMs run the same way and their output
# is echoed into the test's), as well as on a failed check. Afterwards no
# block of the test's channel and no process started from it may be left.
#   java_host_test.sh BUILD_DIR JAVA CLASSPATH LIBRARY_DIR DASHBOARD
set -u
# A channel of its own, so that parallel runs never share one.
export VELQ_CHANNEL_SUFFIX="-javatest-$$"
# The real dashboard runs in the test without a display.
export SDL_VIDEODRIVER=dummy
build=$1 java=$2 classpath=$3 libraries=$4 dashboard=$5
block="/dev/shm/Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}$VELQ_CHANNEL_SUFFIX"
layout=$(cd "$build" && ./tools/skinhost/skinhost --skin demo --print-layout | awk '{print $2}' | tr '\n' ' ')
[ -n "$layout" ] || { echo "FAIL: skinhost printed no layout"; exit 1; }
output=$("$java" -Xcheck:jni -Djava.library.path="$libraries" -cp "$classpath" HostChannelTest "$build" "$layout" "$dashboard" 2>&1)
status=$?
echo "$output"
# Every process started from the test carries its channel suffix in its
# environment. Read with builtins only, so that no process of this scan
# carries it too.
leftovers=()
for environ in /proc/[0-9]*/environ; do
  pid=${environ#/proc/} pid=${pid%/environ}
  [ "$pid" = $$ ] && continue
  { mapfile -d "" variables <"$environ"; } 2>/dev/null || continue
  [[ " ${variables[*]-} " == *"VELQ_CHANNEL_SUFFIX=$VELQ_CHANNEL_SUFFIX "* ]] && leftovers+=("$pid")
done
if [ ${#leftovers[@]} -gt 0 ]; then
  echo "FAIL: processes started by the test are left: ${leftovers[*]}"
  kill -9 "${leftovers[@]}" 2>/dev/null
  status=1
fi
if [ -e "$block" ]; then echo "FAIL: the test's block is left behind"; rm -f "$block"; status=1; fi
[ $status -eq 0 ] || { echo "FAIL: the Java test ended with status $status"; exit 1; }
if grep -q "WARNING\|FATAL" <<<"$output"; then echo "FAIL: the JVM reported a JNI problem"; exit 1; fi
exit 0
