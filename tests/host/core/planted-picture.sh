#!/usr/bin/env bash
# The README picture check fails for a picture it does not find: on a small
# tree (no git) whose README names pictures that are there, each planted
# link or backticked docs/ path to a missing picture, or to one outside the
# tree, must make the check fail and be named; taken out again, it passes.
set -u
root=$1 work=$2
check=$root/scripts/refresh-pictures.sh
rm -rf "$work" && mkdir -p "$work/docs" || exit 1
trap 'rm -rf "$work"' EXIT
printf 'png' >"$work/docs/shown.png"
printf 'png' >"$work/docs/named.png"
printf '# T\n\n![Shown](docs/shown.png)\nsaved as `docs/named.png`; `docs/notes.txt` is no picture.\n' >"$work/README.md"
bash "$check" --check "$work" >/dev/null || { echo "FAIL: the tree with its pictures is refused"; exit 1; }

failures=0
plant() {  # line-to-add picture-the-check-must-name
  local line=$1 picture=$2
  cp "$work/README.md" "$work/README.orig"
  printf '%s\n' "$line" >>"$work/README.md"
  local out; out=$(bash "$check" --check "$work" 2>&1); local rc=$?
  if [ $rc -ne 1 ] || ! grep -qxF "missing: $picture" <<<"$out"; then
    echo "FAIL: planted '$line': exit $rc, output:"; echo "$out"
    failures=$((failures + 1))
  else
    echo "ok: refused $picture"
  fi
  mv "$work/README.orig" "$work/README.md"
}
plant '![Gone](docs/gone.png)' docs/gone.png
plant '| ![A](docs/shown.png) | ![B](docs/table.png "title") |' docs/table.png
plant 'the box, saved as `docs/box.jpg`.' docs/box.jpg
plant '![Built](build/screenshots/shown.png)' build/screenshots/shown.png
plant '![Up](../docs/shown.png)' ../docs/shown.png

bash "$check" --check "$work" >/dev/null || { echo "FAIL: the tree is refused after the plants were taken out"; exit 1; }
[ $failures -eq 0 ]
