#!/usr/bin/env bash
# The Debian packages as a user gets them: built with CPack, checked by
# lintian (no errors), unpacked into a scratch root with dpkg -x, and used
# with no build tree: a C host compiled with pkg-config and the same host
# built with find_package(VelqHost) each drive the installed SkinVELQ on a
# private X server; then the Python wrapper (tools/python), installed
# offline with pip into a scratch virtual environment, does the same; last,
# a Java host loads the installed velqhost.jar's own natives.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/velq-packages.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" > cpack.log 2>&1) ||
  { tail -30 "$scratch/cpack.log"; exit 1; }
debs=("$scratch"/*.deb)
[ ${#debs[@]} -eq 4 ] || { echo "FAIL: expected 4 packages, got ${#debs[@]}"; exit 1; }
for deb in "${debs[@]}"; do
  echo "package: $(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Version) ($(dpkg-deb -f "$deb" Section))"
  # lintian refuses to run as root without this; its errors fail the pass.
  errors=$(lintian --allow-root "$deb" 2>&1 | grep '^E:' || true)
  [ -z "$errors" ] || { echo "FAIL: lintian errors in $(basename "$deb"):"; echo "$errors"; exit 1; }
  dpkg -x "$deb" "$scratch/root"
  if [ "$(dpkg-deb -f "$deb" Package)" = libvelqhost1 ]; then
    version=$(dpkg-deb -f "$deb" Version)
  fi
done
[ -n "${version:-}" ] || { echo "FAIL: no libvelqhost1 package"; exit 1; }
version=${version#*:}   # the upstream version: no epoch,
version=${version%%-*}  # no Debian revision
root=$scratch/root
libdir=$(cd "$root/usr/lib" && ls -d */libvelqhost.so.1 | xargs dirname)
export LD_LIBRARY_PATH=$root/usr/lib/$libdir
export VELQ_CHANNEL_SUFFIX=-packages-$$

# C, through pkg-config.
export PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_PATH=$root/usr/lib/$libdir/pkgconfig
cc -Wall -Wextra -Werror -o "$scratch/host-pc" "$here/host.c" $(pkg-config --cflags --libs velqhost)
# CMake, through the package's config file.
cmake -S "$here/cmake-host" -B "$scratch/cmake-host" -DCMAKE_PREFIX_PATH="$root/usr" > "$scratch/cmake.log" ||
  { cat "$scratch/cmake.log"; exit 1; }
cmake --build "$scratch/cmake-host" > "$scratch/cmake-build.log" || { cat "$scratch/cmake-build.log"; exit 1; }

for host in "$scratch/host-pc" "$scratch/cmake-host/host"; do
  xvfb-run -a -s "-screen 0 800x600x24" "$host" "$root/usr/share/skinvelq" "$root/usr/bin/SkinVELQ"
done

# Python: the wrapper installed with pip, offline (the system's setuptools,
# no index), into a virtual environment that sees the system's packages.
# Debian's own interpreter: python3-setuptools and python3-wheel, which the
# build needs, are installed for it (another python3 first on PATH, such as
# a pyenv one, may lack them). pip builds in the source folder, so it builds
# a copy, leaving the repository without build/ and egg-info folders.
python=/usr/bin/python3
[ -x "$python" ] || { echo "FAIL: no $python (scripts/setup-deps installs python3)"; exit 1; }
cp -r "$here/../../tools/python" "$scratch/python-src"
"$python" -m venv --system-site-packages "$scratch/venv"
"$scratch/venv/bin/pip" install --no-build-isolation --no-index "$scratch/python-src" > "$scratch/pip.log" 2>&1 ||
  { cat "$scratch/pip.log"; exit 1; }
rm -rf "$scratch/python-src"
# -I: neither PYTHONPATH nor the script's folder can put another velqhost
# first; without VELQHOST_LIBRARY the library comes from LD_LIBRARY_PATH,
# the packaged one.
(cd "$scratch" && env -u VELQHOST_LIBRARY xvfb-run -a -s "-screen 0 800x600x24" "$scratch/venv/bin/python" -I \
  "$here/host.py" "$root/usr/share/skinvelq" "$root/usr/bin/SkinVELQ" "$version" "$LD_LIBRARY_PATH")

# Java: the jar as installed in /usr/share/java, with its pom beside it.
# A host with the jar alone (no java.library.path, no LD_LIBRARY_PATH) must
# get both libraries out of the jar; with the packaged library folders as
# java.library.path, the packaged libraries must win.
jar=$root/usr/share/java/velqhost.jar
pom=$root/usr/share/java/velqhost.pom
[ -f "$jar" ] && [ -f "$pom" ] || { echo "FAIL: no velqhost.jar and velqhost.pom in /usr/share/java"; exit 1; }
/usr/bin/python3 - "$pom" "$version" <<'EOF_POM'
import sys
from xml.dom import minidom
project = minidom.parse(sys.argv[1]).documentElement
def text(name):
    return project.getElementsByTagName(name)[0].firstChild.data
found = (text("groupId"), text("artifactId"), text("version"))
assert found == ("com.velq", "velqhost", sys.argv[2]), found
EOF_POM
java_bin=$(dirname "$(readlink -f "$(command -v javac)")")
"$here/../host/jar_load_test.sh" "$java_bin" "$jar" "$root/usr/share/skinvelq" "$root/usr/bin/skinhost" "$version" \
  "$root/usr/lib/$libdir" "$root/usr/lib/$libdir/jni"

"$root/usr/bin/skinconv" --version
echo "ok: packages built, lintian clean, C (pkg-config), CMake and Python (pip, venv) hosts drove the installed dashboard, a Java host ran on the installed jar alone"
