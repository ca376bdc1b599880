#!/usr/bin/env bash
# Prepares SCRATCH/tree with a symbolic link to SCRATCH/elsewhere, runs the
# link test of the winsys tests on it, and checks from outside that the link's
# target kept its file. Usage: link-tree-test.sh SCRATCH RUNNER TEST.exe
set -u
scratch=$1 runner=$2 exe=$3
rm -rf "$scratch"
mkdir -p "$scratch/tree" "$scratch/elsewhere"
printf 'keep me' >"$scratch/elsewhere/precious.txt"
printf 'x' >"$scratch/tree/file.txt"
ln -s "$scratch/elsewhere" "$scratch/tree/link"
# A TEMP whose work-directory names are links: LMF1 itself, and the
# "sysfiles" folder inside LMF2; both point at a folder that looks like a
# work directory left behind.
mkdir -p "$scratch/temp/LMF2" "$scratch/aside"
printf 'keep me' >"$scratch/aside/temp.dat"
: >"$scratch/aside/inuse.lmf"
: >"$scratch/temp/LMF2/inuse.lmf"
ln -s "$scratch/aside" "$scratch/temp/LMF1"
ln -s "$scratch/aside" "$scratch/temp/LMF2/sysfiles"
SS_LINK_TREE="Z:$(printf '%s' "$scratch/tree" | tr / '\\')" \
SS_LINK_TEMP="Z:$(printf '%s' "$scratch/temp" | tr / '\\')" \
  "$runner" "$exe" --gtest_color=no \
  --gtest_filter=DirectoryTree.SymbolicLinkIsRemovedNotFollowed:WorkDirectory.LinkedFoldersAreNeverFollowed
rc=$?
for kept in elsewhere/precious.txt aside/temp.dat; do
  if [ "$(cat "$scratch/$kept" 2>/dev/null)" != "keep me" ]; then
    echo "link target lost its file: $kept" >&2
    rc=1
  fi
done
[ -e "$scratch/aside/inuse.lmf" ] || { echo "link target lost its marker" >&2; rc=1; }
rm -rf "$scratch"
exit $rc
