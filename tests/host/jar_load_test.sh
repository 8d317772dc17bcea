#!/usr/bin/env bash
# velqhost.jar as a Java host gets it: JarHost, compiled against the jar
# alone, runs with the jar on its class path and neither -Djava.library.path
# nor LD_LIBRARY_PATH, so both libraries must come out of the jar (into a
# private folder that is gone once the JVM has ended). Given library
# folders, it runs once more with them as java.library.path, where the
# installed libraries must win over the jar's copies.
#   jar_load_test.sh JAVA_BIN JAR WORK_DIR SKINHOST VERSION [LIBRARY_DIR...]
# JAVA_BIN holds java and javac; WORK_DIR holds Skin/demo; SKINHOST prints
# the reference layout.
set -euo pipefail
java_bin=$1 jar=$2 work=$3 skinhost=$4 version=$5
shift 5
library_dirs=("$@")
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/velq-jar-load.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

"$java_bin/javac" -Xlint:all -Werror --release 11 -cp "$jar" -d "$scratch/classes" "$here/JarHost.java"
layout=$(cd "$work" && "$skinhost" --skin demo --print-layout | awk '{print $2}' | tr '\n' ' ')
[ -n "$layout" ] || { echo "FAIL: skinhost printed no layout"; exit 1; }

# Nothing from the environment may name a library folder: no
# LD_LIBRARY_PATH, and no options the JVM would pick up by itself. A
# temporary folder of the test's own shows what the JVM leaves behind.
mkdir "$scratch/tmp"
run() {
  env -u LD_LIBRARY_PATH -u JAVA_TOOL_OPTIONS -u _JAVA_OPTIONS -u JDK_JAVA_OPTIONS \
    "$java_bin/java" -Xcheck:jni -Djava.io.tmpdir="$scratch/tmp" "$@" 2>&1
}
status=0
output=$(run -cp "$jar:$scratch/classes" JarHost jar "$work" "$version" "$layout") || status=$?
echo "$output"
[ $status -eq 0 ] || { echo "FAIL: JarHost (natives from the jar) ended with status $status"; exit 1; }
extracted=$(sed -n 's/^extracted: //p' <<<"$output")
[ -n "$extracted" ] || { echo "FAIL: JarHost printed no extraction folder"; exit 1; }
[ "$(dirname "$extracted")" -ef "$scratch/tmp" ] || { echo "FAIL: $extracted is not in the JVM's temporary folder"; exit 1; }
[ ! -e "$extracted" ] || { echo "FAIL: $extracted is left after the JVM ended: $(ls -A "$extracted")"; exit 1; }
if grep -q "WARNING in native method\|FATAL ERROR" <<<"$output"; then echo "FAIL: the JVM reported a JNI problem"; exit 1; fi

if [ ${#library_dirs[@]} -gt 0 ]; then
  path=$(IFS=:; echo "${library_dirs[*]}")
  output=$(run -Djava.library.path="$path" -cp "$jar:$scratch/classes" JarHost path "$work" "$version" "$layout" \
    "${library_dirs[@]}") || status=$?
  echo "$output"
  [ $status -eq 0 ] || { echo "FAIL: JarHost (natives from $path) ended with status $status"; exit 1; }
  if grep -q "WARNING in native method\|FATAL ERROR" <<<"$output"; then echo "FAIL: the JVM reported a JNI problem"; exit 1; fi
fi
[ -z "$(ls -A "$scratch/tmp")" ] || { echo "FAIL: the JVMs left $(ls -A "$scratch/tmp") in their temporary folder"; exit 1; }
echo "ok: natives loaded from inside the jar${library_dirs:+, and from java.library.path when it has them}"
