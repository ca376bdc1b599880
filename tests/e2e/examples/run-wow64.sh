#!/usr/bin/env bash
# Test programs once more on 64-bit Windows: a 64-bit Wine prefix
# (WINEARCH=win64, build/wine/wow64), made afresh once per test run, where
# the 32-bit installer and tests run as WOW64 programs and their
# system-directory writes go to SysWOW64. Each program runs there in turn,
# told by SS_WOW64_PREFIX to expect WOW64 (the sample's round trip checks the
# copy in the real System32 with 64-bit programs of Wine's own; the hostile
# cases and the install fixture look at the real System32 and the 64-bit
# registry view too).
#
# After the last program the prefix itself is compared with how it was
# before the first: the files of System32 and SysWOW64 (names and sizes),
# and the machine's software keys in both registry views (the 64-bit view
# holds the 32-bit one under Wow6432Node), the Session Manager key (files
# pending deletion) and the user's software keys. Every program must leave
# them as it found them, whatever it installed, failed or cancelled.
#
# Usage: run-wow64.sh RUN [--next RUN]...
#   RUN: [NAME=VALUE...] TEST.exe [GTEST ARGS...]  (NAME=VALUE: environment
#   of that program only, e.g. HOSTILE_FILTER)
set -u
ss_root=$(cd "$(dirname "$0")/../../.." && pwd)
. "$ss_root/scripts/wine-env.sh"
ss_wine_check || exit 1

export WINEARCH=win64
export WINEPREFIX="$ss_root/build/wine/wow64"
export SS_WOW64_PREFIX=1
log="$ss_root/build/wine/wow64.log"
state="$ss_root/build/wine/wow64-state"

stop_server() {
  timeout "$(ss_slow 20)" wineserver -k >/dev/null 2>&1
  timeout "$(ss_slow 20)" wineserver -w >/dev/null 2>&1
}
# The prefix is 1.3 GB: it lives for this run only.
cleanup() { stop_server; rm -rf "$WINEPREFIX" "$state"; }
trap cleanup EXIT

# What the programs must leave as they found it, in directory $1: the files
# of System32 and SysWOW64 (folders by name only: a folder's size grows
# with its entries), and the registry lines of the keys compared, without
# Wine's own settings (Software\Wine: the system parameters it keeps for
# the session, its window manager's, the Windows versions tests ask for).
snapshot() {
  local out=$1 key
  mkdir -p "$out"
  (cd "$WINEPREFIX/drive_c/windows" &&
    find system32 syswow64 \( -type d -printf 'd %p\n' \) -o -printf '%y %p %s\n' | LC_ALL=C sort) >"$out/files"
  : >"$out/registry"
  for key in 'HKLM\Software' 'HKLM\System\CurrentControlSet\Control\Session Manager' 'HKCU\Software'; do
    rm -f "$WINEPREFIX/drive_c/ss-wow64.reg"
    if ! wine reg export "$key" 'C:\ss-wow64.reg' /y </dev/null >/dev/null 2>&1; then
      echo "export of $key failed" >>"$out/registry"
      continue
    fi
    # reg.exe writes UTF-16 with CR LF.
    iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/ss-wow64.reg" | tr -d '\r' |
      awk '/^\[/ { skip = ($0 ~ /^\[HKEY_[A-Z_]+\\Software\\(Wow6432Node\\)?Wine([\\\]])/) } !skip' >>"$out/registry"
  done
  rm -f "$WINEPREFIX/drive_c/ss-wow64.reg"
}

stop_server
rm -rf "$WINEPREFIX" "$state"
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
# The lists of installed programs, there on any Windows in use (the fresh
# prefix lacks some): shared by every program, made by whichever writes the
# first entry, removed by none.
for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
  'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'; do
  for view in 32 64; do wine reg add "$key" /f "/reg:$view" </dev/null >/dev/null 2>&1; done
done
snapshot "$state/before"
[ -s "$state/before/registry" ] && grep -q 'Wow6432Node' "$state/before/registry" ||
  { echo "wow64: the registry export holds no 32-bit view"; exit 1; }

rc=0
run=()
run_one() {
  local envs=()
  while [ ${#run[@]} -gt 0 ] && [[ ${run[0]} == [A-Za-z_]*=* ]]; do
    envs+=("${run[0]}")
    run=("${run[@]:1}")
  done
  [ ${#run[@]} -gt 0 ] || { echo "wow64: a run without a program"; rc=1; return; }
  local exe=${run[0]}
  echo "wow64: $(basename "$exe") ${envs[*]} ${run[*]:1}"
  local started=$(date +%s)
  env "${envs[@]}" wine "$exe" --gtest_color=no "${run[@]:1}" || rc=1
  echo "wow64: $(basename "$exe") took $(($(date +%s) - started)) s"
}
for word in "$@"; do
  if [ "$word" = "--next" ]; then
    run_one
    run=()
  else
    run+=("$word")
  fi
done
run_one

snapshot "$state/after"
for what in files registry; do
  if ! diff -u "$state/before/$what" "$state/after/$what" >"$state/$what.diff"; then
    echo "wow64: the programs changed the prefix's $what:"
    head -n 60 "$state/$what.diff"
    rc=1
  fi
done
[ $rc -eq 0 ] && echo "wow64: System32, SysWOW64 and both registry views as before"
exit $rc
