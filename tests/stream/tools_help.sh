#!/usr/bin/env bash
# Every program answers --help with its usage on standard output and status
# 0, without a display and without looking for a skin named "--help", and
# --version with its name and the product's version (VERSION, the first
# argument) on one line.
# Usage: tools_help.sh VERSION SKINVELQ SKINHOST SKINRENDER SKINCONV [KVLPORTS]
set -u
version=$1
shift
status=0
for program in "$@"; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version 2>&1)
  code=$?
  [ "$code" -eq 0 ] && [ "$out" = "$(basename "$program") $version" ] ||
    { echo "FAIL: $(basename "$program") --version exited $code: $out"; status=1; }
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help 2>&1)
  code=$?
  [ "$code" -eq 0 ] || { echo "FAIL: $(basename "$program") --help exited $code: $out"; status=1; continue; }
  case "$out" in
    usage:*) ;;
    *) echo "FAIL: $(basename "$program") --help printed no usage: $out"; status=1 ;;
  esac
done
[ "$status" -eq 0 ] && echo "ok: $# programs answer --help and --version ($version)"
exit $status
