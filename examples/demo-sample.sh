#!/usr/bin/env bash
# The sample installer at work under Wine: builds "Sample Setup.exe",
# installs it quietly, shows what landed (files, "system.ini", the uninstall
# entry), runs the installed screen saver and photographs it, photographs the
# installer's own window, and finally removes the screen saver with the
# uninstall command it registered, showing that nothing is left.
# Usage: examples/demo-sample.sh [HOST_BUILD_DIR] [WIN_BUILD_DIR] [OUT_DIR]
#        examples/demo-sample.sh --installed PREFIX [WIN_BUILD_DIR] [OUT_DIR]
# (the installer made by the builds' sspack, or by the one installed in
# PREFIX; see examples/build-sample.sh). The stand-in Flash control comes
# from WIN_BUILD_DIR either way.
# Uses WINEPREFIX and DISPLAY when set (scripts/demo.sh sets both); starts
# and stops a private Xvfb otherwise. Screenshots go to build/screenshots/.
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"
installed=()
if [ "${1:-}" = --installed ]; then
  installed=(--installed "$2")
  shift 2
  set -- "" "$@"
fi
host=${1:-build/host}
win=${2:-build/win}
out=${3:-build/sample}
title="Sample Aquarium"
flash_key='HKCR\CLSID\{D27CDB6E-AE6D-11cf-96B8-444553540000}'
entry_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$title"
shots=$ss_root/build/screenshots

. scripts/wine-env.sh
. scripts/xvfb.sh
own_display=
cleanup() {
  wine reg delete "$flash_key" /f >/dev/null 2>&1 || true
  [ -n "$own_display" ] && ss_stop_xvfb
  return 0
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  ss_start_xvfb
  own_display=1
fi
ss_wine_prefix
mkdir -p "$shots"

if [ ${#installed[@]} -gt 0 ]; then
  examples/build-sample.sh "${installed[@]}" "$out"
else
  examples/build-sample.sh "$host" "$win" "$out"
fi
installer="$out/Sample Setup.exe"
sysdir="$WINEPREFIX/drive_c/windows/system32"
if [ -e "$sysdir/$title.scr" ]; then
  echo "demo-sample: $title is already installed in $WINEPREFIX; remove it first" >&2
  exit 1
fi

# Every installer looks for the Flash player, whatever it presents; Wine has
# none, so the stand-in control of the tests plays its part.
cmake --build "$win" --target flashctl_7_19 >/dev/null
flashctl=$(find "$win" -name flashctl_7_19.dll | head -n 1)
[ -n "$flashctl" ] || { echo "demo-sample: flashctl_7_19.dll not built" >&2; exit 1; }
wine reg add "$flash_key\\InprocServer32" /ve /d "$(winepath -w "$flashctl")" /f >/dev/null 2>&1

echo "== quiet install: wine \"$installer\" /q"
set +e
wine "$installer" /q >"$out/quiet.log" 2>&1
code=$?
set -e
echo "exit code: $code"
echo "== the engine and its install directory"
ls -l "$sysdir/$title.scr" "$sysdir/$title dir"
echo "== system.ini [boot]"
grep -i '^SCRNSAVE.EXE' "$WINEPREFIX/drive_c/windows/system.ini" | tr -d '\r' || echo "(no SCRNSAVE.EXE line)"
echo "== uninstall entry"
wine reg query "$entry_key" 2>/dev/null | tr -d '\r' | grep -v '^$' || echo "(no entry)"

echo "== the installed screen saver, full screen"
wine "C:\\windows\\system32\\$title.scr" /s >"$out/show.log" 2>&1 &
show=$!
for _ in $(seq 1 "$(ss_slow 50)"); do
  xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1 && break
  sleep 0.2
done
sleep "$(ss_slow 2)"
import -window root "$shots/demo-sample-saver.png"
xdotool mousemove 100 100; sleep 0.2; xdotool mousemove 600 500
wait "$show" || true
echo "screenshot: $shots/demo-sample-saver.png"

echo "== the installer's window"
wine "$installer" >"$out/window.log" 2>&1 &
setup=$!
window=
for _ in $(seq 1 "$(ss_slow 100)"); do
  # The installer window, not the application's title window of no size
  # that carries the same caption.
  for candidate in $(xdotool search --onlyvisible --name "^Install Screen Saver: $title\$" 2>/dev/null || true); do
    eval "$(xdotool getwindowgeometry --shell "$candidate")"
    [ "$WIDTH" -gt 50 ] && window=$candidate && break
  done
  [ -n "$window" ] && break
  sleep 0.2
done
sleep "$(ss_slow 1)"
import -window root "$shots/demo-sample-installer.png"
echo "screenshot: $shots/demo-sample-installer.png"
if [ -n "$window" ]; then
  # Cancel sits in the window's bottom right corner.
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove $((X + WIDTH - 48)) $((Y + HEIGHT - 19)) click 1
fi
for _ in $(seq 1 "$(ss_slow 50)"); do kill -0 "$setup" 2>/dev/null || break; sleep 0.2; done
kill "$setup" 2>/dev/null || true
wait "$setup" 2>/dev/null || true

echo "== uninstall with the registered command"
command=$(wine reg query "$entry_key" /v UninstallString 2>/dev/null | sed -n 's/.*REG_SZ *//p' | tr -d '\r')
echo "UninstallString: $command"
program=$(sed -n 's/^"\(.*\)" \/u$/\1/p' <<<"$command")
[ -n "$program" ] || program=${command% /u}
set +e
wine "$program" /u >"$out/uninstall.log" 2>&1
code=$?
set -e
echo "exit code: $code"
ls -d "$sysdir/$title.scr" "$sysdir/$title dir" 2>/dev/null || echo "engine and install directory: gone"
grep -i '^SCRNSAVE.EXE' "$WINEPREFIX/drive_c/windows/system.ini" || echo "SCRNSAVE.EXE line: gone"
wine reg query "$entry_key" >/dev/null 2>&1 && echo "uninstall entry: still there" || echo "uninstall entry: gone"
echo "files left for deletion at the next start of Windows:"
wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
  2>/dev/null | sed -n 's/.*REG_MULTI_SZ *//p' | tr -d '\r' || true
