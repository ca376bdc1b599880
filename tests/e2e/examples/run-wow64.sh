#!/usr/bin/env bash
# The sample installer's round trip once more on 64-bit Windows: a 64-bit
# Wine prefix (WINEARCH=win64, build/wine/wow64), made afresh once per test
# run, where the 32-bit installer and tests run as WOW64 programs and their
# system-directory writes go to SysWOW64. Runs the round-trip test program
# there, told by SS_WOW64_PREFIX to expect WOW64; the program checks the
# copy in the real System32 with 64-bit programs of Wine's own.
# Usage: run-wow64.sh TEST.exe [GTEST ARGS...]
set -u
ss_root=$(cd "$(dirname "$0")/../../.." && pwd)
. "$ss_root/scripts/wine-env.sh"
ss_wine_check || exit 1
test_exe=$1; shift

export WINEARCH=win64
export WINEPREFIX="$ss_root/build/wine/wow64"
export SS_WOW64_PREFIX=1
log="$ss_root/build/wine/wow64.log"

stop_server() {
  timeout "$(ss_slow 20)" wineserver -k >/dev/null 2>&1
  timeout "$(ss_slow 20)" wineserver -w >/dev/null 2>&1
}
# The prefix is 1.3 GB: it lives for this run only.
cleanup() { stop_server; rm -rf "$WINEPREFIX"; }
trap cleanup EXIT

stop_server
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
start=$(date +%s)
if ! DISPLAY= timeout "$(ss_slow 120)" wine wineboot -i >"$log" 2>&1; then
  echo "wow64: the 64-bit prefix was not made (see $log)"
  exit 1
fi
# Wine's desktop process, started by wineboot without a display, must end
# before the tests start theirs on the test display.
timeout "$(ss_slow 60)" wineserver -w
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || { echo "wow64: $WINEPREFIX has no SysWOW64"; exit 1; }
echo "wow64: 64-bit prefix made in $(($(date +%s) - start)) s"
# A persistent server for the run, started detached from CTest's pipes.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
wine "$test_exe" --gtest_color=no "$@"
