#!/usr/bin/env bash
# Checks which way the includes between the rooms point. core/ is at the
# bottom and includes nothing of ours; app/ is at the top and nothing includes
# it. Every "room/file" include of a product file must name its own room or a
# room it may use (the table below); an include that climbs with "../" is
# refused too. Prints each refused include as "file:line: text" and exits 1
# when there is one, 0 otherwise.
#
#   scripts/check-includes.sh [ROOT]     (ROOT: the source tree, default ..)
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

# The rooms each room may include besides itself. The tests may include any
# room: they test them all, the top room included. tools/ has rooms of its
# own, one folder each; the files directly in tools/ are its command line,
# on top of them.
tools_rooms="tools/common tools/pe tools/read tools/check tools/build tools/manifest"
declare -A may_use=(
  [core]=""
  [codec]="core"
  [winsys]="core"
  [package]="core codec winsys"
  [flash]="core winsys"
  [app]="core codec winsys package flash"
  [tools]="core codec winsys package flash $tools_rooms"
  [tools/common]="core codec winsys package"
  [tools/pe]="core winsys tools/common"
  [tools/read]="core codec winsys package tools/common tools/pe"
  [tools/check]="core codec winsys package tools/common tools/pe tools/read"
  [tools/build]="core codec winsys package tools/common tools/pe tools/read"
  [tools/manifest]="core codec winsys package tools/common tools/pe tools/read tools/check tools/build"
  [examples]="core codec winsys package"
  [bench]="core codec winsys package flash tools $tools_rooms tests"
)

# The room of a path below the root: "tools/read" for tools/read/X.h, "tools"
# for tools/CommandTable.h, "core" for core/X.h.
room_of() {
  local top=${1%%/*} rest=${1#*/}
  if [[ $rest == */* ]] && [ -n "${may_use[$top/${rest%%/*}]+x}" ]; then
    echo "$top/${rest%%/*}"
  else
    echo "$top"
  fi
}

refused=0
checked=0
for top in core codec winsys package flash app tools examples bench; do
  [ -d "$root/$top" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}; rest=${hit#*:}; line=${rest%%:*}; text=${rest#*:}
    [[ $text =~ include[[:space:]]*\"([^\"]*)\" ]] || continue
    target=${BASH_REMATCH[1]}
    checked=$((checked + 1))
    if [[ $target == *../* ]]; then
      echo "${file#"$root"/}:$line: $text  (climbs out of its folder)"
      refused=$((refused + 1))
      continue
    fi
    [[ $target == */* ]] || continue
    room=$(room_of "${file#"$root"/}")
    used=$(room_of "$target")
    [ "$used" = "$room" ] && continue
    [ -n "${may_use[$used]+x}" ] || [ "$used" = tests ] || continue   # a library's own folder
    case " ${may_use[$room]} " in
      *" $used "*) ;;
      *) echo "${file#"$root"/}:$line: $text  ($room/ may not include $used/)"
         refused=$((refused + 1)) ;;
    esac
  done < <(grep -rnE --include='*.c' --include='*.cpp' --include='*.h' --include='*.rc' --include='*.def' \
             '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$root/$top")
done

if [ "$checked" -eq 0 ]; then
  echo "check-includes: no include found under $root" >&2
  exit 1
fi
if [ "$refused" -gt 0 ]; then
  echo "check-includes: $refused include(s) point the wrong way" >&2
  exit 1
fi
echo "check-includes: $checked includes checked, all point down"
