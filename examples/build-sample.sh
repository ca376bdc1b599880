#!/usr/bin/env bash
# Builds the sample installer "Sample Setup.exe" for the sample screen saver.
# Usage: examples/build-sample.sh [HOST_BUILD_DIR] [WIN_BUILD_DIR] [OUT_DIR]
#   HOST_BUILD_DIR  host build with sspack and sample_media (default build/host)
#   WIN_BUILD_DIR   cross build with ssinstall.exe, impborl.dll, the engine
#                   and its libraries (default build/win)
#   OUT_DIR         where the installer is written (default build/sample)
# The targets it needs are brought up to date in both builds. The generated
# pictures and settings, the engine, its libraries and the texts are
# gathered in OUT_DIR/stage beside a copy of examples/sample/sample.json,
# whose paths are relative to itself; sspack then packs that folder.
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"
host=${1:-build/host}
win=${2:-build/win}
out=${3:-build/sample}

die() { echo "build-sample: $*" >&2; exit 1; }

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
