#!/usr/bin/env bash
# The installer's windows as a user meets them, under Wine and Xvfb:
#  0. the bare stub with "/q" ends at once with the failure as exit code;
#  1. an installer built on the stub by the package builder, started from a
#     folder path with spaces: the preparing
#     window is captioned with the file name only and hidden once the
#     installer window is shown, centred, in its Ready phase without licence;
#     Cancel ends the program with exit code 0;
#  2. the same window with a licence (shown by the test helper);
# each Ready phase is photographed into the screenshot folder.
# Usage: run-forms-e2e.sh STUB.exe HELPER.exe SCREENSHOT_DIR WORK_DIR SSPACK.exe IMPBORL.dll FLASHCTL.dll
set -u
stub=$1 helper=$2 shots=$3 work=$4 sspack=$5 impborl=$6 flashctl=$7
ss_root=$(cd "$(dirname "$0")/../../.." && pwd)
. "$ss_root/tests/e2e/process.sh"
need_display "the windows need"

rm -rf "$work"
mkdir -p "$work/Sample Kit" "$shots"

expect() {
  local key=$1 want=$2 file=$3 got
  got=$(value "$key" "$file")
  [ "$got" = "$want" ] || fail "$key is '$got', expected '$want'"
}

# The window must show in the picture: its button strip is light (button
# face), not the black of an empty screen.
check_shot() {
  local shot=$1 rect=$2 l t r b inside
  IFS=, read -r l t r b <<<"$rect"
  [ -s "$shot" ] || { fail "no screenshot $shot"; return; }
  inside=$(convert "$shot" -crop "$((r - l - 20))x40+$((l + 10))+$((b - 60))" -colorspace Gray \
    -format '%[fx:int(255*mean)]' info: 2>/dev/null)
  [ "${inside:-0}" -gt 150 ] || fail "$shot: the window's button strip is not visible (mean $inside)"
}

# ---- 0. the bare stub, quiet: no window, the failure in the exit code
# (-31, a missing package header, reaches the shell as its low byte 225)
"$run" "$stub" /q >"$work/quiet.log" 2>&1 &
quiet_pid=$!
wait_for_exit "$quiet_pid" 20 || fail "the quiet run did not end by itself"
[ "$exit_code" = 225 ] || fail "the quiet run's exit code is $exit_code, expected 225"

# ---- 1. an installer built on the stub, no licence
# A small package made by the package builder; the installer checks for a
# Flash player before anything else, so the stand-in control is registered
# for the length of the test.
kit="$work/kit"
mkdir -p "$kit/media"
convert -size 340x150 gradient:navy-skyblue "BMP3:$kit/picture.bmp"
head -c 6000 /dev/urandom >"$kit/engine.scr"
head -c 700 /dev/urandom >"$kit/support.dat"
head -c 900 /dev/urandom >"$kit/one.dll"
head -c 900 /dev/urandom >"$kit/two.dll"
seq 1 2000 >"$kit/media/numbers.txt"
cat >"$kit/saver.json" <<'JSON'
{
  "title": "Sample Saver",
  "presentation": {"kind": "bitmap", "file": "picture.bmp"},
  "engine": "engine.scr",
  "supportFile": "support.dat",
  "supportLibraries": ["one.dll", "two.dll"],
  "data": {"folder": "media"}
}
JSON
exe="$work/Sample Kit/Sample Saver Setup.exe"
"$run" "$sspack" build "Z:$kit/saver.json" -o "Z:$exe" --stub "Z:$stub" --impborl "Z:$impborl" -q \
  >"$work/sspack.log" 2>&1 || fail "sspack could not build the installer: $(cat "$work/sspack.log")"
flash_key='HKCR\CLSID\{D27CDB6E-AE6D-11cf-96B8-444553540000}'
"$run" reg add "$flash_key\InprocServer32" /ve /d "Z:$flashctl" /f >/dev/null 2>&1
"$run" reg add "$flash_key\InprocServer32" /v ThreadingModel /d Apartment /f >/dev/null 2>&1
trap '"$run" reg delete "$flash_key" /f >/dev/null 2>&1' EXIT
"$run" "$exe" >"$work/stub.log" 2>&1 &
stub_pid=$!
if "$run" "$helper" probe 20000 >"$work/probe1.txt" 2>"$work/probe1.err"; then
  cat "$work/probe1.txt"
  expect preparing.caption "Sample Saver Setup.exe" "$work/probe1.txt"
  expect preparing.visible 0 "$work/probe1.txt"
  expect installer.centred 1 "$work/probe1.txt"
  expect app.title "$(value installer.caption "$work/probe1.txt")" "$work/probe1.txt"
  expect app.title.shown 1 "$work/probe1.txt"
  expect installer.owned 1 "$work/probe1.txt"
  expect installer.sizeable 0 "$work/probe1.txt"
  expect install.text "Install" "$work/probe1.txt"
  expect install.gap 6 "$work/probe1.txt"
  import -window root "$shots/installer-ready.png"
  check_shot "$shots/installer-ready.png" "$(value installer.rect "$work/probe1.txt")"
  "$run" "$helper" click 103 || fail "Cancel not found"
else
  fail "the stub's installer window did not appear"
fi
wait_for_exit "$stub_pid" 20 || fail "the stub did not end after Cancel"
[ "$exit_code" = 0 ] || fail "the stub's exit code is $exit_code"

# ---- 2. the same window with a licence
"$run" "$helper" show-licence >"$work/show.log" 2>&1 &
show_pid=$!
if "$run" "$helper" probe 20000 >"$work/probe2.txt" 2>"$work/probe2.err"; then
  cat "$work/probe2.txt"
  expect installer.sizeable 1 "$work/probe2.txt"
  expect install.text "Accept and Install" "$work/probe2.txt"
  expect install.gap 6 "$work/probe2.txt"
  expect installer.centred 1 "$work/probe2.txt"
  import -window root "$shots/installer-ready-licence.png"
  check_shot "$shots/installer-ready-licence.png" "$(value installer.rect "$work/probe2.txt")"
  "$run" "$helper" click 103 || fail "Cancel not found"
else
  fail "the licence window did not appear"
fi
wait_for_exit "$show_pid" 20 || fail "the licence window did not end after Cancel"
[ "$exit_code" = 0 ] || fail "the licence window's exit code is $exit_code"

exit_on_failures
echo "screenshots: $shots/installer-ready.png $shots/installer-ready-licence.png"
