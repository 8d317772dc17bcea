#!/usr/bin/env bash
# Runs the Java binding's test in a real JVM under -Xcheck:jni and fails on
# any JNI warning, as well as on a failed check.
#   java_host_test.sh BUILD_DIR JAVA CLASSPATH LIBRARY_DIR
set -u
# A channel of its own, so that parallel runs never share one.
export VELQ_CHANNEL_SUFFIX="-javatest-$$"
build=$1 java=$2 classpath=$3 libraries=$4
layout=$(cd "$build" && ./tools/skinhost/skinhost --skin demo --print-layout | awk '{print $2}' | tr '\n' ' ')
[ -n "$layout" ] || { echo "FAIL: skinhost printed no layout"; exit 1; }
output=$("$java" -Xcheck:jni -Djava.library.path="$libraries" -cp "$classpath" HostChannelTest "$build" "$layout" 2>&1)
status=$?
echo "$output"
[ $status -eq 0 ] || { echo "FAIL: the Java test ended with status $status"; exit 1; }
if grep -q "WARNING\|FATAL" <<<"$output"; then echo "FAIL: the JVM reported a JNI problem"; exit 1; fi
exit 0
