#!/usr/bin/env bash
# The pictures the top-level README shows live in docs/, committed; the tests
# and the demo take them anew into build/screenshots/ (scripts/run-tests.sh,
# scripts/demo.sh). This copies, after such a run, each picture the README
# names from there into docs/ (only those; metadata such as ImageMagick's
# time stamps stripped, so an unchanged picture gives an unchanged file), and
# says which it could not find there.
#
#   scripts/refresh-pictures.sh [SHOTS]      refresh docs/ from SHOTS
#                                            (default build/screenshots)
#   scripts/refresh-pictures.sh --check [ROOT]
#       lists each picture README.md names that the repository lacks
#       ("missing: PATH"); exit code 1 when there is one. ROOT is the source
#       tree (default: this script's). When ROOT is a git checkout a picture
#       must be tracked by git; elsewhere (an exported tree) it must exist.
#
# A picture the README names is the target of a markdown image link
# (![text](PATH)) or a backticked docs/ path of a picture (`docs/x.png`).
set -u

# The pictures README.md names, one per line.
named_pictures() {
  local readme=$1
  {
    grep -o '!\[[^]]*\]([^)]*)' "$readme" | sed 's/^!\[[^]]*\](\([^) ]*\).*$/\1/'
    grep -o '`docs/[^`]*`' "$readme" | tr -d '`' | grep -Ei '\.(png|jpe?g|gif|svg)$'
  } | sort -u
}

if [ "${1:-}" = --check ]; then
  root=${2:-$(cd "$(dirname "$0")/.." && pwd)}
  [ -f "$root/README.md" ] || { echo "refresh-pictures: no README.md in $root" >&2; exit 2; }
  # A git checkout when ROOT is the top of one (not merely a folder inside one).
  in_git=0
  top=$(git -C "$root" rev-parse --show-toplevel 2>/dev/null) &&
    [ "$(cd "$top" && pwd -P)" = "$(cd "$root" && pwd -P)" ] && in_git=1
  missing=0 count=0
  while IFS= read -r picture; do
    [ -n "$picture" ] || continue
    count=$((count + 1))
    case "$picture" in
      /* | *://* | ../* | */../*) found=0 ;;  # outside the repository
      *)
        if [ $in_git = 1 ]; then
          git -C "$root" ls-files --error-unmatch -- "$picture" >/dev/null 2>&1 && found=1 || found=0
        else
          [ -f "$root/$picture" ] && found=1 || found=0
        fi
        ;;
    esac
    if [ $found = 0 ]; then
      echo "missing: $picture"
      missing=$((missing + 1))
    fi
  done < <(named_pictures "$root/README.md")
  echo "refresh-pictures: README.md names $count pictures, $missing missing from the repository"
  [ $missing -eq 0 ]
  exit
fi

root=$(cd "$(dirname "$0")/.." && pwd)
shots=${1:-$root/build/screenshots}
copied=0 absent=0
while IFS= read -r picture; do
  case "$picture" in
    docs/*) ;;
    *) echo "refresh-pictures: README.md shows $picture, which is not under docs/" >&2; absent=$((absent + 1)); continue ;;
  esac
  source=$shots/$(basename "$picture")
  if [ ! -f "$source" ]; then
    echo "not found: $source (kept $picture as it is)"
    absent=$((absent + 1))
    continue
  fi
  mkdir -p "$root/$(dirname "$picture")"
  if command -v convert >/dev/null 2>&1; then
    convert "$source" -strip "$root/$picture"
  else
    cp "$source" "$root/$picture"
  fi
  echo "refreshed: $picture ($(stat -c %s "$root/$picture") bytes)"
  copied=$((copied + 1))
done < <(named_pictures "$root/README.md")
echo "refresh-pictures: $copied refreshed, $absent not found"
[ $absent -eq 0 ]
