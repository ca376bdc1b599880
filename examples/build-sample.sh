#!/usr/bin/env bash
# Builds the sample installer "Sample Setup.exe" for the sample screen saver.
# Usage: examples/build-sample.sh [HOST_BUILD_DIR] [WIN_BUILD_DIR] [OUT_DIR]
#        examples/build-sample.sh --installed PREFIX [OUT_DIR]
#   HOST_BUILD_DIR  host build with sspack and sample_media (default build/host)
#   WIN_BUILD_DIR   cross build with ssinstall.exe, impborl.dll, the engine
#                   and its libraries (default build/win)
#   OUT_DIR         where the installer is written (default build/sample)
#   PREFIX          where scripts/package.sh installed sspack
# From the builds: the targets it needs are brought up to date in both. The
# generated pictures and settings, the engine, its libraries and the texts
# are gathered in OUT_DIR/stage beside a copy of examples/sample/sample.json,
# whose paths are relative to itself; sspack then packs that folder.
# Installed: the installed sspack packs the sample installed with it
# (PREFIX/share/sspack/sample/), finding its stub and library by itself.
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"

die() { echo "build-sample: $*" >&2; exit 1; }

if [ "${1:-}" = --installed ]; then
  [ $# -ge 2 ] || die "--installed needs the prefix"
  prefix=$2
  out=${3:-build/sample}
  sspack=$prefix/bin/sspack
  sample=$prefix/share/sspack/sample
  [ -x "$sspack" ] && [ -f "$sample/sample.json" ] || die "no installed sspack in $prefix (scripts/package.sh)"
  mkdir -p "$out"
  installer="$out/Sample Setup.exe"
  "$sspack" build "$sample/sample.json" -o "$installer" -q
  "$sspack" verify "$installer" -q >/dev/null || die "sspack verify refused $installer"
  echo "build-sample: $sspack wrote $installer ($(stat -c %s "$installer") bytes)"
  exit 0
fi
host=${1:-build/host}
win=${2:-build/win}
out=${3:-build/sample}

for dir in "$host" "$win"; do
  [ -f "$dir/CMakeCache.txt" ] || die "$dir is not a configured build (run scripts/build.sh first)"
done
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
cmake --build "$host" -j"$jobs" --target sspack sample_media >/dev/null
cmake --build "$win" -j"$jobs" --target ssinstall impborl sample_saver sample_aquafx sample_aquacap >/dev/null

sspack=$host/tools/sspack
media=$host/examples/sample_media
stub=$win/app/ssinstall.exe
impborl=$win/codec/impborl.dll
engine="$win/examples/Sample Aquarium.scr"
for f in "$sspack" "$media" "$stub" "$impborl" "$engine" "$win/examples/aquafx.dll" \
         "$win/examples/aquacap.dll"; do
  [ -f "$f" ] || die "missing $f"
done

stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage"
"$media" "$stage" >/dev/null
cp examples/sample/sample.json examples/sample/license.txt examples/sample/readme.txt \
   examples/sample/captions.txt "$stage/"
cp "$engine" "$win/examples/aquafx.dll" "$win/examples/aquacap.dll" "$stage/"

installer="$out/Sample Setup.exe"
"$sspack" build "$stage/sample.json" -o "$installer" --stub "$stub" --impborl "$impborl" -q
"$sspack" verify "$installer" -q >/dev/null || die "sspack verify refused $installer"
echo "build-sample: wrote $installer ($(stat -c %s "$installer") bytes)"
