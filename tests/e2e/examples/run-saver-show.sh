#!/usr/bin/env bash
# The sample screen saver's full-screen show ("/s") under Wine on the test
# display: laid out as installed (engine, install directory with the
# generated pictures, saver.dat, captions and support libraries, all in a
# scratch folder reached through Wine's Z: drive), it covers the screen with
# the first picture, keeps running while nobody touches anything, refuses a second
# show beside it, and ends on a mouse movement and on a key. The first show
# is photographed into SHOT_DIR/sample-saver.png.
# Usage: run-saver-show.sh ENGINE.scr BUILD_DIR WORK_DIR SHOT_DIR
#   BUILD_DIR holds sample_media.exe, aquafx.dll and aquacap.dll.
set -u
engine=$1 bindir=$2 work=$3 shots=$4
ss_root=$(cd "$(dirname "$0")/../../.." && pwd)
. "$ss_root/tests/e2e/process.sh"
need_display "the show needs"

title="Sample Aquarium"
rm -rf "$work"
mkdir -p "$work/sys/$title dir" "$shots"
install="$work/sys/$title dir"
"$run" "$bindir/sample_media.exe" "$(winepath -w "$work/media" 2>/dev/null)" >"$work/media.log" 2>&1 ||
  { cat "$work/media.log"; echo "FAIL: sample_media.exe did not write the media"; exit 1; }
cp "$work/media/media/"*.bmp "$work/media/saver.dat" "$install/"
cp "$ss_root/examples/sample/captions.txt" "$bindir/aquafx.dll" "$bindir/aquacap.dll" "$install/"
cp "$engine" "$work/sys/$title.scr"
scr="$work/sys/$title.scr"

# The mean colour "R G B" (0 to 255) of a patch of open water.
patch_colour() {
  convert "$1" -crop 200x60+412+60 +repage \
    -format '%[fx:int(255*mean.r)] %[fx:int(255*mean.g)] %[fx:int(255*mean.b)]' info:
}
# True when two "R G B" colours differ by at most 20 in every channel.
close_colours() {
  local a b i
  read -r -a a <<<"$1"
  read -r -a b <<<"$2"
  [ ${#a[@]} -eq 3 ] && [ ${#b[@]} -eq 3 ] || return 1
  for i in 0 1 2; do
    local d=$((a[i] - b[i]))
    [ ${d#-} -le 20 ] || return 1
  done
}

# Waits for the show's window (20 s, stretched); its X id in $window.
wait_for_window() {
  local i
  window=
  for ((i = 0; i < 100 * SS_WINE_SLOW; i++)); do
    window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1)
    [ -n "$window" ] && return 0
    sleep 0.2
  done
  return 1
}

# ---- 1. the show, photographed, ended by moving the mouse
xdotool mousemove 512 384
"$run" "$scr" /s >"$work/show1.log" 2>&1 &
pid=$!
if wait_for_window; then
  # The first picture stays 6 s from the window's start (the default slide
  # time), so the screen is read again until it shows the picture, for at
  # most 4.5 s whatever the CPU: a slower CPU gives more chances to paint,
  # never a longer wait that would let the next picture in.
  convert "$install/01-reef.bmp" -resize '1024x768!' "$work/reference.png"
  want=$(patch_colour "$work/reference.png")
  shot="$shots/sample-saver.png"
  got=
  for ((i = 0; i < 9; i++)); do
    sleep 0.5
    import -window root "$shot"
    got=$(patch_colour "$shot")
    close_colours "$want" "$got" && break
  done
  kill -0 "$pid" 2>/dev/null || fail "the show ended by itself"
  geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
  [ "$geometry" = "1024x768" ] || fail "the show covers $geometry, not the whole 1024x768 screen"
  # The first picture (01-reef.bmp) fills the screen: a patch of open water
  # near the top has, within the bubbles' share, the colour of the same
  # patch of the picture scaled to the screen.
  close_colours "$want" "$got" || fail "the screen does not show the first picture (patch $got, picture $want)"

  # A second start while the show runs ends at once and leaves the first.
  "$run" "$scr" /s >"$work/show2.log" 2>&1 &
  second=$!
  wait_for_exit "$second" 20 || fail "a second show did not end by itself"
  [ "$exit_code" = 0 ] || fail "the second show's exit code is $exit_code"
  kill -0 "$pid" 2>/dev/null || fail "the second start ended the first show"

  xdotool mousemove 300 200
  sleep 0.2
  xdotool mousemove 700 500
else
  fail "the show's window did not appear"
fi
wait_for_exit "$pid" 15 || fail "the show did not end on a mouse movement"
[ "$exit_code" = 0 ] || fail "the show's exit code is $exit_code"

# ---- 2. ended by a key
"$run" "$scr" /s >"$work/show3.log" 2>&1 &
pid=$!
if wait_for_window; then
  sleep "$SS_WINE_SLOW"
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key --clearmodifiers space
else
  fail "the show's window did not appear the second time"
fi
wait_for_exit "$pid" 15 || fail "the show did not end on a key"
[ "$exit_code" = 0 ] || fail "the show's exit code after the key is $exit_code"

rm -rf "$work"
exit_on_failures
echo "screenshot: $shots/sample-saver.png"
