#!/usr/bin/env bash
# The include check refuses an include that runs upward: on a copy of the
# product rooms, which passes as it is, each planted include must make the
# check fail and be named by file and line; taken out again, the copy passes.
set -u
root=$1 work=$2
check=$root/scripts/check-includes.sh
rm -rf "$work" && mkdir -p "$work" || exit 1
trap 'rm -rf "$work"' EXIT
for room in core codec winsys package flash app tools examples; do cp -a "$root/$room" "$work/"; done

bash "$check" "$work" >/dev/null || { echo "FAIL: the unplanted copy is refused"; exit 1; }

failures=0
plant() {  # file include-line
  local file=$1 line=$2
  cp "$work/$file" "$work/$file.orig"
  printf '%s\n' "$line" >>"$work/$file"
  local lineno; lineno=$(wc -l <"$work/$file")
  local out; out=$(bash "$check" "$work" 2>&1); local rc=$?
  if [ $rc -ne 1 ] || ! grep -qF "$file:$lineno: $line" <<<"$out"; then
    echo "FAIL: planted '$line' in $file: exit $rc, output:"; echo "$out"
    failures=$((failures + 1))
  else
    echo "ok: refused $file:$lineno: $line"
  fi
  mv "$work/$file.orig" "$work/$file"
}
plant core/Strings.h '#include "app/Sequences.h"'           # the bottom room reaching the top
plant core/DebugLog.cpp '#include "winsys/LMT_FileUtils.h"'  # the bottom room reaching a middle one
plant winsys/LMT_FileUtils.cpp '#include "package/Staging.h"' # a middle room reaching up
plant package/Staging.cpp '#include "flash/FlashPanel.h"'    # sideways
plant tools/read/StubImage.cpp '#include "app/Sequences.h"'   # anyone reaching the top
plant tools/pe/PeImage.cpp '#include "tools/read/StubImage.h"' # a room of tools/ reaching sideways
plant tools/common/FileIo.cpp '#include "tools/CommandTable.h"' # a room of tools/ reaching its command line
plant flash/SwfReader.cpp '#include "../app/Sequences.h"'    # climbing out by path

bash "$check" "$work" >/dev/null || { echo "FAIL: the copy is refused after the plants were taken out"; exit 1; }
[ $failures -eq 0 ]
