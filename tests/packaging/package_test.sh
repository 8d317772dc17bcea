#!/usr/bin/env bash
# The Debian packages as a user gets them: built with CPack, checked by
# lintian (no errors), unpacked into a scratch root with dpkg -x, and used
# with no build tree: a C host compiled with pkg-config and the same host
# built with find_package(VelqHost) each drive the installed SkinVELQ on a
# private X server.
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
done
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
"$root/usr/bin/skinconv" --version
echo "ok: packages built, lintian clean, C (pkg-config) and CMake hosts drove the installed dashboard"
