#!/usr/bin/env bash
# Faults that only an ordinary user meets, under Wine and Xvfb. As root, Wine
# ignores Unix permissions, so the installer runs as a user of its own: the
# system user "sstest" (no login shell, created here when needed) when this
# runs as root, else the current user. That user has a Wine prefix of its own
# (build/wine/user-prefix, made once, copied for each run) and a HOME under
# build/wine/.
#   access:   a. the system directory not writable: a quiet run ends with 5,
#                an interactive one shows the privileges status line and box;
#             b. an earlier install directory the user may not write to: the
#                run fails, the old file is kept, nothing new is left; and an
#                existing read-only engine of another user (root only);
#   fulldisk: c. a small tmpfs over the user's Temp folder: the installer's
#                copy of itself fits, the saver data file does not; the run
#                ends with 112, nothing installed, no work directory left.
#                Needs root for the mount; otherwise reports itself skipped
#                (exit 77).
# Each case: nothing installed (no engine, install directory, uninstall entry
# or screen-saver setting of its title) and no work directory (LMF<n>) left
# in the user's Temp.
# Usage: run-userfaults-e2e.sh access|fulldisk WORK_DIR STUB.exe HELPER.exe
#          SSPACK.exe IMPBORL.dll FLASHCTL.dll SCREENSHOT_DIR
set -u
mode=$1 work=$2 stub=$3 helper=$4 sspack=$5 impborl=$6 flashctl=$7 shots=$8
ss_root=$(cd "$(dirname "$0")/../../.." && pwd)
# Wine's settings; the user's runs get the same ones. Every limit below is
# given for the CPU itself and stretched (ss_slow) where an emulated CPU
# runs 32-bit programs.
. "$ss_root/scripts/wine-env.sh"
. "$ss_root/tests/e2e/process.sh"
skip=77

die() { echo "FAIL: $*"; exit 1; }

case $mode in
  access | fulldisk) ;;
  *) die "unknown mode '$mode'" ;;
esac
if [ "$mode" = fulldisk ] && [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: the full-disk case mounts a small tmpfs over the user's Temp folder, which needs root (running as $(id -un))"
  exit $skip
fi
[ -n "${DISPLAY:-}" ] || die "no DISPLAY; the installer window needs an X display (Xvfb)"

# ---- the ordinary user
if [ "$(id -u)" -eq 0 ]; then
  user=sstest
  if ! getent passwd "$user" >/dev/null; then
    nologin=$(command -v nologin || echo /usr/sbin/nologin)
    err=$(useradd --system --no-create-home --home-dir /nonexistent --shell "$nologin" "$user" 2>&1) ||
      die "could not create the test user '$user' (useradd: $err); Wine ignores Unix permissions for root, so these faults need an ordinary user"
  fi
  if command -v runuser >/dev/null; then
    as_user() { runuser -u "$user" -- "$@"; }
  elif command -v setpriv >/dev/null; then
    as_user() { setpriv --reuid="$user" --regid="$user" --init-groups -- "$@"; }
  else
    die "neither runuser nor setpriv is available to run Wine as '$user'"
  fi
else
  user=$(id -un)
  as_user() { "$@"; }
fi
uid=$(id -u "$user") || die "no user id for '$user'"
gid=$(id -g "$user") || die "no group id for '$user'"
as_user true || die "cannot run a command as '$user'"
echo "user: $user ($uid:$gid)"

winedir="$ss_root/build/wine"
template="$winedir/user-prefix"
home="$winedir/user-home"
prefix="$winedir/user-prefix-$mode"
mkdir -p "$winedir" "$shots"
mkdir -p "$home" && chown "$uid:$gid" "$home" || die "cannot prepare HOME $home for '$user'"

# Wine as the user, in the given prefix (the copy unless told otherwise).
uwine_in() {
  local pfx=$1; shift
  as_user env -u XDG_RUNTIME_DIR -u TMPDIR HOME="$home" USER="$user" LOGNAME="$user" PATH="$PATH" \
    SS_WINE_SLOW="$SS_WINE_SLOW" WINEPREFIX="$pfx" WINEARCH="$WINEARCH" WINEDLLOVERRIDES="mscoree,mshtml=" \
    WINEDEBUG="${UF_WINEDEBUG:--all,warn+debugstr}" DISPLAY="${UF_DISPLAY-$DISPLAY}" "$@"
}
uwine() { uwine_in "$prefix" "$@"; }

# Wine must be able to start at all.
if ! wine_version=$(as_user env HOME="$home" PATH="$PATH" wine --version 2>&1); then
  die "Wine cannot start its loader here: $wine_version"
fi

# ---- the user's prefix: made once (serialised), copied for this run
(
  flock 9
  if [ -f "$template/.ss-ready" ] && [ "$(stat -c %u "$template")" != "$uid" ]; then
    echo "prefix $template belongs to another user id; made again"
    rm -f "$template/.ss-ready"
  fi
  if [ ! -f "$template/.ss-ready" ]; then
    rm -rf "$template"
    mkdir -p "$template" && chown "$uid:$gid" "$template" || exit 1
    UF_DISPLAY='' uwine_in "$template" timeout "$(ss_slow 120)" wineboot -i >"$winedir/user-prefix.log" 2>&1
    uwine_in "$template" timeout "$(ss_slow 30)" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      >>"$winedir/user-prefix.log" 2>&1 || exit 1
    uwine_in "$template" timeout "$(ss_slow 60)" wineserver -w
    [ -f "$template/system.reg" ] || exit 1
    touch "$template/.ss-ready"
  fi
) 9>"$template.lock" || die "could not make the prefix $template for '$user' (see $winedir/user-prefix.log)"

mounted=
sysdir="$prefix/drive_c/windows/system32"
cleanup() {
  # Everything the user's Wine runs ends first: the tmpfs is busy otherwise.
  uwine timeout "$(ss_slow 20)" wineserver -k >/dev/null 2>&1
  uwine timeout "$(ss_slow 20)" wineserver -w >/dev/null 2>&1
  if [ -n "$mounted" ]; then
    umount "$mounted" 2>/dev/null || umount -l "$mounted" 2>/dev/null || echo "warning: $mounted not unmounted"
  fi
  [ -d "$sysdir" ] && chmod 755 "$sysdir" 2>/dev/null
}
# A mount left by an interrupted run would be deleted through otherwise.
for m in $(awk -v p="$prefix/" 'index($2, p) == 1 {print $2}' /proc/mounts 2>/dev/null); do umount "$m" 2>/dev/null || umount -l "$m"; done
rm -rf "$prefix"
cp -a "$template" "$prefix" || die "could not copy the prefix"
trap cleanup EXIT
# A persistent server, and Wine's own services started detached from the
# test runner's output (started by a later step they would hold CTest's pipes).
uwine timeout "$(ss_slow 20)" wineserver -p </dev/null >/dev/null 2>&1 || die "wineserver did not start as '$user'"
uwine timeout "$(ss_slow 60)" wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || die "Wine cannot start a program as '$user'"

# ---- files the user can read, in a scratch folder the user owns
rm -rf "$work"
mkdir -p "$work/bin" "$work/kit/media" "$work/out"
cp "$stub" "$work/bin/ssinstall.exe" && cp "$helper" "$work/bin/helper.exe" && cp "$sspack" "$work/bin/sspack.exe" &&
  cp "$impborl" "$work/bin/impborl.dll" && cp "$flashctl" "$work/bin/flashctl.dll" || die "could not copy the built files"
kit="$work/kit"
convert -size 340x150 gradient:navy-skyblue "BMP3:$kit/picture.bmp" || die "convert failed"
head -c 6000 /dev/urandom >"$kit/engine.scr"
head -c 700 /dev/urandom >"$kit/support.dat"
head -c 900 /dev/urandom >"$kit/one.dll"
head -c 900 /dev/urandom >"$kit/two.dll"
seq 1 2000 >"$kit/media/numbers.txt"
chown -R "$uid:$gid" "$work"

# The installer checks for a Flash player before anything else: the
# stand-in control, registered under the Flash player's class id.
flash_key='HKCR\CLSID\{D27CDB6E-AE6D-11cf-96B8-444553540000}'
uwine timeout "$(ss_slow 30)" wine reg add "$flash_key\InprocServer32" /ve /d "Z:$work/bin/flashctl.dll" /f >/dev/null 2>&1 &&
  uwine timeout "$(ss_slow 30)" wine reg add "$flash_key\InprocServer32" /v ThreadingModel /d Apartment /f >/dev/null 2>&1 ||
  die "could not register the stand-in Flash control"

# The user's Temp folder, where the work directories are made.
temp_win=$(uwine timeout "$(ss_slow 30)" wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
temp=$(uwine timeout "$(ss_slow 30)" wine winepath -u "$temp_win" 2>/dev/null | tr -d '\r')
[ -n "$temp" ] && [ -d "$temp" ] || die "the user's Temp folder was not found ('$temp_win' -> '$temp')"
echo "Temp: $temp_win = $temp"

# build TITLE [DATA_BYTES [COMPRESS]]: an installer built by the package
# builder; the data folder gets one file of DATA_BYTES when given:
# incompressible and stored by default; with "compress", zeros, and the
# data file compressed as a whole (its entries stay stored).
build() {
  local title=$1 bytes=${2:-0} compress=${3:-store} dir="$kit/$1"
  mkdir -p "$dir/media"
  cp "$kit/picture.bmp" "$kit/engine.scr" "$kit/support.dat" "$kit/one.dll" "$kit/two.dll" "$dir/"
  cp "$kit/media/numbers.txt" "$dir/media/"
  if [ "$bytes" -gt 0 ] && [ "$compress" = store ]; then
    head -c "$bytes" /dev/urandom >"$dir/media/noise.bin"
  elif [ "$bytes" -gt 0 ]; then
    head -c "$bytes" /dev/zero >"$dir/media/zeros.bin"
  fi
  cat >"$dir/saver.json" <<JSON
{
  "title": "$title",
  "compress": "$compress",
  "presentation": {"kind": "bitmap", "file": "picture.bmp"},
  "engine": "engine.scr",
  "supportFile": "support.dat",
  "supportLibraries": ["one.dll", "two.dll"],
  "data": {"folder": "media", "entryCompress": "store"}
}
JSON
  chown -R "$uid:$gid" "$dir"
  uwine timeout "$(ss_slow 60)" wine "$work/bin/sspack.exe" build "Z:$dir/saver.json" -o "Z:$work/out/$title Setup.exe" \
    --stub "Z:$work/bin/ssinstall.exe" --impborl "Z:$work/bin/impborl.dll" -q >"$work/sspack-$title.log" 2>&1 ||
    die "sspack could not build '$title': $(cat "$work/sspack-$title.log")"
  installer="$work/out/$title Setup.exe"
}

# A text of core/strings.def as written there (C escapes kept).
string_of() { sed -n "s/^SS_STRING([0-9]*, $1, \"\(.*\)\")\$/\1/p" "$ss_root/core/strings.def"; }

work_dirs() { (cd "$temp" && ls -d LMF* 2>/dev/null) | sort; }

# quiet TITLE: runs the installer with /q (60 s at most); $exit_code, log in
# $log.
quiet() {
  log="$work/$1-quiet.log"
  uwine timeout "$(ss_slow 60)" wine "$installer" /q >"$log" 2>&1 &
  wait_for_exit $! 70 || fail "$1: the quiet run did not end"
}

logged() { grep -qF "OutputDebugStringA \"$1" "$log"; }

uninstall_key() { echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1"; }

# expect_nothing_new TITLE WORK_DIRS_BEFORE [keep-engine] [keep-dir]
expect_nothing_new() {
  local title=$1 before=$2 keep=${3:-} root
  if [ "$keep" != keep-engine ] && [ -e "$sysdir/$title.scr" ]; then fail "$title: engine left in system32"; fi
  if [ "$keep" != keep-dir ] && [ -e "$sysdir/$title dir" ]; then fail "$title: install directory left"; fi
  for root in HKLM HKCU; do
    if uwine timeout "$(ss_slow 30)" wine reg query "$(uninstall_key "$title" | sed "s/^HKLM/$root/")" >/dev/null 2>&1; then
      fail "$title: uninstall entry left in $root"
    fi
  done
  if grep -qiF "$title" "$prefix/drive_c/windows/system.ini" 2>/dev/null; then
    fail "$title: system.ini names it: $(grep -iF "$title" "$prefix/drive_c/windows/system.ini")"
  fi
  local after
  after=$(work_dirs)
  [ "$after" = "$before" ] || fail "$title: work directories before '$before', after '$after'"
}

case_a() {
  local title="UF Denied Saver" before
  echo "== a. system directory not writable for $user"
  build "$title"
  chmod 555 "$sysdir"
  if as_user test -w "$sysdir"; then fail "system32 is still writable for $user"; fi

  before=$(work_dirs)
  quiet "$title"
  echo "quiet run: exit $exit_code"
  [ "$exit_code" = 5 ] || fail "a quiet: exit code $exit_code, expected 5 ($(grep -F 'OutputDebugStringA' "$log" | tail -n 5))"
  logged "runInstall: 5\"" || fail "a quiet: no 'runInstall: 5' in the log"
  expect_nothing_new "$title" "$before"

  # Interactive: Install, then the status line and the error box.
  before=$(work_dirs)
  local ilog="$work/$title-window.log" probe="$work/$title-probe.txt" pid
  log=$ilog
  uwine timeout "$(ss_slow 90)" wine "$installer" >"$ilog" 2>&1 &
  pid=$!
  if uwine timeout "$(ss_slow 40)" wine "$work/bin/helper.exe" ready 30000 >"$probe" 2>/dev/null; then
    uwine timeout "$(ss_slow 20)" wine "$work/bin/helper.exe" click 101 || fail "a window: Install not found"
    if uwine timeout "$(ss_slow 40)" wine "$work/bin/helper.exe" settle 30000 >"$probe" 2>/dev/null; then
      cat "$probe"
      import -window root "$shots/userfaults-privileges.png" 2>/dev/null || fail "no screenshot"
      [ "$(value status "$probe")" = "Installation Aborted: Insufficient user account privileges." ] ||
        fail "a window: status line is '$(value status "$probe")'"
      [ "$(value box.found "$probe")" = 1 ] || fail "a window: no error box"
      local text privileges
      text=$(value box.text "$probe")
      privileges=$(string_of InsufficientPrivileges)
      [ -n "$privileges" ] || fail "no InsufficientPrivileges text in strings.def"
      case $text in
        *"$privileges"*) ;;
        *) fail "a window: the box does not carry the privileges text: '$text'" ;;
      esac
      [ "$(value box.caption "$probe")" = Error ] || echo "note: box caption '$(value box.caption "$probe")'"
      uwine timeout "$(ss_slow 20)" wine "$work/bin/helper.exe" answer 3 || fail "a window: the box has no Abort button"
      uwine timeout "$(ss_slow 20)" wine "$work/bin/helper.exe" gone 10000 || fail "a window: the box stayed after Abort"
    else
      cat "$probe"
      fail "a window: no outcome after Install ($(grep -F 'OutputDebugStringA' "$ilog" | tail -n 5))"
    fi
    uwine timeout "$(ss_slow 20)" wine "$work/bin/helper.exe" click 103 || fail "a window: Cancel not found"
  else
    fail "a window: the installer window did not appear ($(tail -n 5 "$ilog"))"
  fi
  wait_for_exit "$pid" 30 || fail "a window: the installer did not end after Cancel"
  echo "window run: exit $exit_code"
  logged "runInstall: 5\"" || fail "a window: no 'runInstall: 5' in the log"
  expect_nothing_new "$title" "$before"
  chmod 755 "$sysdir"
}

case_b() {
  local title="UF Locked Saver" before dir
  echo "== b. earlier install directory not writable for $user"
  build "$title"
  dir="$sysdir/$title dir"
  mkdir -p "$dir"
  echo "kept from an earlier install" >"$dir/keep.txt"
  local sum
  sum=$(md5sum <"$dir/keep.txt")
  if [ "$(id -u)" -eq 0 ]; then
    # Another owner: the user can neither write here nor change the modes.
    chown -R root:root "$dir"
    chmod 755 "$dir"
    chmod 644 "$dir/keep.txt"
  else
    chmod 444 "$dir/keep.txt"
    chmod 555 "$dir"
  fi
  before=$(work_dirs)
  quiet "$title"
  echo "quiet run: exit $exit_code"
  [ "$exit_code" = 5 ] || fail "b quiet: exit code $exit_code, expected 5 ($(grep -F 'OutputDebugStringA' "$log" | tail -n 6))"
  [ -f "$dir/keep.txt" ] && [ "$(md5sum <"$dir/keep.txt")" = "$sum" ] || fail "b: the earlier file was lost or changed"
  local extra
  extra=$(find "$dir" -mindepth 1 ! -name keep.txt)
  [ -z "$extra" ] || fail "b: new files in the earlier install directory: $extra"
  expect_nothing_new "$title" "$before" keep-dir
  chmod -R u+w "$dir"
  rm -rf "$dir"

  [ "$(id -u)" -eq 0 ] || { echo "(b2 needs root to own an engine; not run)"; return; }
  title="UF Foreign Engine"
  echo "== b2. a read-only engine of another user in a writable system directory"
  build "$title"
  local engine="$sysdir/$title.scr"
  echo "engine of another user" >"$engine"
  chown root:root "$engine"
  chmod 444 "$engine"
  sum=$(md5sum <"$engine")
  before=$(work_dirs)
  quiet "$title"
  echo "quiet run: exit $exit_code"
  # -38 (the engine cannot be replaced) reaches the shell as 218.
  [ "$exit_code" = 218 ] ||
    fail "b2 quiet: exit code $exit_code, expected 218 (-38) ($(grep -F 'OutputDebugStringA' "$log" | tail -n 6))"
  [ -f "$engine" ] && [ "$(md5sum <"$engine")" = "$sum" ] || fail "b2: the other user's engine was lost or changed"
  expect_nothing_new "$title" "$before" keep-engine
  rm -f "$engine"
}

# case_c TITLE COMPRESS: the data file's extraction into the work directory
# meets a full disk, stored (plain copies) or compressed (expanded through
# the decompression library).
case_c() {
  local title=$1 compress=$2 before data=$((8 * 1024 * 1024)) size
  echo "== c. full disk under the work directory ($compress)"
  build "$title" "$data" "$compress"
  # Room for the installer's copy of itself and the library with 1 MiB to
  # spare, and half of the data file: its extraction cannot fit.
  size=$((($(stat -c %s "$installer") + 1024 * 1024 + data / 2) / 1024))
  if ! mount -t tmpfs -o "size=${size}k,uid=$uid,gid=$gid,mode=0700" tmpfs "$temp" 2>"$work/mount.err"; then
    echo "SKIPPED: a tmpfs cannot be mounted here: $(cat "$work/mount.err")"
    exit $skip
  fi
  mounted=$temp
  echo "tmpfs of ${size} KiB over $temp; installer $(stat -c %s "$installer") bytes, data $data bytes"
  before=$(work_dirs)
  quiet "$title"
  echo "quiet run: exit $exit_code"
  [ "$exit_code" = 112 ] || fail "c quiet ($compress): exit code $exit_code, expected 112 ($(grep -F 'OutputDebugStringA' "$log" | tail -n 6))"
  logged "runInstall: 112\"" || fail "c ($compress): no 'runInstall: 112' in the log"
  logged "ExtractSegment 8 failed: 112\"" || fail "c ($compress): the data file's extraction is not what failed"
  expect_nothing_new "$title" "$before"
  echo "Temp afterwards: $(df -k "$temp" | tail -n 1)"
  uwine timeout "$(ss_slow 20)" wineserver -k >/dev/null 2>&1
  uwine timeout "$(ss_slow 20)" wineserver -w >/dev/null 2>&1
  umount "$temp" || fail "c ($compress): the tmpfs could not be unmounted"
  mounted=
  uwine timeout "$(ss_slow 20)" wineserver -p </dev/null >/dev/null 2>&1
}

if [ "$mode" = access ]; then
  case_a
  case_b
else
  case_c "UF Full Disk" store
  case_c "UF Full Disk Packed" compress
fi

exit_on_failures "; logs in $work"
cleanup
trap - EXIT
rm -rf "$prefix"
echo "passed"
