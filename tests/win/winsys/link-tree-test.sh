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
SS_LINK_TREE="Z:$(printf '%s' "$scratch/tree" | tr / '\\')" \
  "$runner" "$exe" --gtest_color=no --gtest_filter=DirectoryTree.SymbolicLinkIsRemovedNotFollowed
rc=$?
if [ "$(cat "$scratch/elsewhere/precious.txt" 2>/dev/null)" != "keep me" ]; then
  echo "link target lost its file" >&2
  rc=1
fi
rm -rf "$scratch"
exit $rc
