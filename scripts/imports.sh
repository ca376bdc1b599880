#!/usr/bin/env bash
# Prints what each shipped 32-bit file imports, checks it against what
# Windows 95 (with Internet Explorer 4) and NT 4.0 export, and counts the
# instructions in it that a Pentium lacks (CMOV, FCOMI/FCMOV, SSE; the
# exception tables the linker puts in the code section are not counted).
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
echo "Instructions a Pentium lacks (count per file; scripts/pentium-check.sh names each):"
"$ss_root/scripts/pentium-check.sh" --counts "$@" | sed 's/^/  /' || status=1
exit $status
