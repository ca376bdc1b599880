#!/usr/bin/env bash
# Prints what each shipped 32-bit file imports, checks it against what
# Windows 95 (with Internet Explorer 4) and NT 4.0 export, and counts the
# instructions in it that a Pentium lacks (CMOV, FCOMI/FCMOV, SSE).
# Usage: scripts/imports.sh [FILE...]   (default: the shipped files of build/win)
# Builds build/host's peimports first when it is missing.
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"

peimports=build/host/tools/peimports
if [ ! -x "$peimports" ]; then
  cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/host --target peimports -j"$(nproc)" >/dev/null
fi

if [ $# -eq 0 ]; then
  set -- build/win/app/ssinstall.exe build/win/app/ssinstall_faults.exe build/win/codec/impborl.dll \
    "build/win/examples/Sample Aquarium.scr" build/win/examples/aquafx.dll build/win/examples/aquacap.dll
fi
for f in "$@"; do
  [ -f "$f" ] || { echo "imports: $f is missing; build it first (bash scripts/build.sh win)" >&2; exit 2; }
done

status=0
"$peimports" --floor tests/fixtures/floor/win95.txt --floor tests/fixtures/floor/nt40.txt "$@" || status=$?

echo
echo "Instructions a Pentium lacks (count per file):"
for f in "$@"; do
  counts=$(i686-w64-mingw32-objdump -d --no-show-raw-insn "$f" |
    awk '$2 ~ /^cmov/ {c++} $2 ~ /^(fcomi|fucomi|fcmov)/ {f++} $0 ~ /%xmm/ {s++}
         END {printf "CMOV %d, FCOMI/FCMOV %d, SSE %d", c, f, s}')
  echo "  $(basename "$f"): $counts"
done
exit $status
