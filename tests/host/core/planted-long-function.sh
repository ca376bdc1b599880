#!/usr/bin/env bash
# The function-length check names a function one line over the limit and
# passes one exactly at it.
set -u
root=$1 work=$2
rm -rf "$work" && mkdir -p "$work/core" || exit 1
trap 'rm -rf "$work"' EXIT
body() { echo "int $1() {"; for ((i = 0; i < $2 - 3; ++i)); do echo "  int v$i = $i;"; done; echo "  return 0;"; echo "}"; }
{ body AtTheLimit 100; body OverTheLimit 101; } >"$work/core/Planted.cpp"
out=$(bash "$root/scripts/check-function-length.sh" "$work" 100 2>&1); rc=$?
if [ $rc -ne 1 ] || ! grep -qx "101 core/Planted.cpp:101 OverTheLimit" <<<"$out" || grep -q AtTheLimit <<<"$out"; then
  echo "FAIL: exit $rc, output:"; echo "$out"; exit 1
fi
echo "ok: $out"
