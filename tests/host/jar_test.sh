#!/usr/bin/env bash
# What the build ships for Java hosts, read back from the files themselves:
# velqhost.jar holds exactly the classes of the product's Java sources (none
# from tests/), the natives the build put in under natives/<os>-<arch>/ and
# nothing else there, and a manifest with the module name and the project's
# version; the sources jar holds those sources, the javadoc jar their pages;
# the pom is well-formed XML naming com.velq:velqhost at the same version.
#   jar_test.sh JAR_TOOL SOURCE_DIR VERSION JAR SOURCES_JAR JAVADOC_JAR POM NATIVE...
set -euo pipefail
jar=$1 source=$2 version=$3
host_jar=$(realpath "$4") sources_jar=$(realpath "$5") javadoc_jar=$(realpath "$6") pom=$(realpath "$7")
shift 7
natives=("$@")
scratch=$(mktemp -d /tmp/velq-jar-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The product's Java sources, as paths inside a jar (com/velq/...).
mapfile -t sources < <(cd "$source/host/java" && find com -name '*.java'; cd "$source/serial/java" && find com -name '*.java')
[ ${#sources[@]} -ge 5 ] || fail "found only ${#sources[@]} Java sources"

# ---- velqhost.jar ----
mapfile -t entries < <("$jar" tf "$host_jar")
echo "velqhost.jar: ${#entries[@]} entries"
# Every native the build packed, and no other.
[ ${#natives[@]} -ge 2 ] || fail "the build named ${#natives[@]} natives"
for native in "${natives[@]}"; do
  printf '%s\n' "${entries[@]}" | grep -qxF "$native" || fail "no $native in the jar"
done
[[ " ${natives[*]} " == *" natives/linux-x86_64/libvelqhost.so "* ]] ||
  [ "$(uname -m)" != x86_64 ] || fail "the build did not name natives/linux-x86_64/libvelqhost.so"
[[ " ${natives[*]} " == *" natives/linux-x86_64/libserialKVL.so "* ]] ||
  [ "$(uname -m)" != x86_64 ] || fail "the build did not name natives/linux-x86_64/libserialKVL.so"
for entry in "${entries[@]}"; do
  case "$entry" in
    natives/ | natives/*/) ;;
    natives/*) [[ " ${natives[*]} " == *" $entry "* ]] || fail "unexpected native $entry" ;;
    META-INF/ | META-INF/MANIFEST.MF) ;;
    com/ | com/velq/ | com/velq/dashboard/ | com/velq/tools/ | com/velq/tools/comm/) ;;
    *.class)
      # A class (or a nested class) of one of the product's sources.
      outer=${entry%.class} outer=${outer%%\$*}
      printf '%s\n' "${sources[@]}" | grep -qxF "$outer.java" || fail "class $entry has no source in the product"
      [[ "$entry" != *Test* ]] || fail "test class $entry in the jar" ;;
    *) fail "unexpected entry $entry" ;;
  esac
done
for file in "${sources[@]}"; do
  printf '%s\n' "${entries[@]}" | grep -qxF "${file%.java}.class" || fail "no class for $file"
done
# The natives are the libraries for this machine, under the names the
# JVM's loader asks for.
(cd "$scratch" && "$jar" xf "$host_jar" META-INF/MANIFEST.MF "${natives[@]}")
python3 - "$scratch" "${natives[@]}" <<'EOF' || fail "a native is not the library its folder names"
import struct, sys
# natives/<os>-<arch>/file: an ELF shared object or a PE DLL for that processor.
ELF_MACHINES = {"x86_64": 62, "x86": 3, "aarch64": 183}
PE_MACHINES = {"x86_64": 0x8664, "x86": 0x14C, "aarch64": 0xAA64}
bad = 0
for native in sys.argv[2:]:
    system, arch = native.split("/")[1].split("-", 1)
    try:
        data = open(f"{sys.argv[1]}/{native}", "rb").read()
    except OSError as e:
        print(f"{native}: {e}")
        bad += 1
        continue
    if system == "windows":
        offset = struct.unpack_from("<I", data, 0x3C)[0] if data[:2] == b"MZ" else 0
        ok = (data[:2] == b"MZ" and data[offset:offset + 4] == b"PE\0\0"
              and struct.unpack_from("<H", data, offset + 4)[0] == PE_MACHINES.get(arch)
              and struct.unpack_from("<H", data, offset + 22)[0] & 0x2000)  # a DLL
    else:
        ok = (data[:4] == b"\x7fELF" and data[5] == 1  # little-endian
              and struct.unpack_from("<HH", data, 16) == (3, ELF_MACHINES.get(arch)))  # shared object
    if not ok:
        print(f"{native} is not a {system} library for {arch}")
        bad += 1
sys.exit(1 if bad else 0)
EOF
manifest=$(tr -d '\r' <"$scratch/META-INF/MANIFEST.MF")
grep -qx "Automatic-Module-Name: com.velq.dashboard" <<<"$manifest" || fail "manifest without Automatic-Module-Name"
grep -qx "Implementation-Version: $version" <<<"$manifest" || fail "manifest without Implementation-Version $version"

# ---- velqhost-sources.jar ----
mapfile -t listed < <("$jar" tf "$sources_jar" | grep '\.java$' | sort)
[ "$(printf '%s\n' "${listed[@]}")" = "$(printf '%s\n' "${sources[@]}" | sort)" ] ||
  fail "the sources jar holds ${listed[*]}, not ${sources[*]}"

# ---- velqhost-javadoc.jar ----
pages=$("$jar" tf "$javadoc_jar")
for page in index.html com/velq/dashboard/HostChannel.html com/velq/dashboard/NativeLoader.html \
            com/velq/tools/comm/SerialKVL.html; do
  grep -qxF "$page" <<<"$pages" || fail "no $page in the javadoc jar"
done

# ---- velqhost.pom ----
python3 - "$pom" "$version" <<'EOF' || fail "the pom is not what Maven takes"
import sys
from xml.dom import minidom
doc = minidom.parse(sys.argv[1])  # raises on XML that is not well-formed
project = doc.documentElement
assert project.tagName == "project", project.tagName
assert project.getAttribute("xmlns") == "http://maven.apache.org/POM/4.0.0"
def text(name):
    nodes = [n for n in project.childNodes if n.nodeType == n.ELEMENT_NODE and n.tagName == name]
    assert len(nodes) == 1, f"{len(nodes)} <{name}>"
    return nodes[0].firstChild.data.strip()
got = {name: text(name) for name in ("modelVersion", "groupId", "artifactId", "version", "packaging")}
want = {"modelVersion": "4.0.0", "groupId": "com.velq", "artifactId": "velqhost",
        "version": sys.argv[2], "packaging": "jar"}
assert got == want, f"{got} != {want}"
print("pom:", ":".join(got[k] for k in ("groupId", "artifactId", "version")))
EOF

[ $failures -eq 0 ] || { echo "FAIL: $failures problems"; exit 1; }
echo "ok: jar (${#natives[@]} natives, classes of the product only, manifest), sources, javadoc and pom"
