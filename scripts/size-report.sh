#!/usr/bin/env bash
# Where the installer stub's bytes go: reads the link map the cross build
# writes beside the stub and sums the sizes of the input sections by
# component (our code, libjpeg, zlib, the C++ runtime, the C runtime) and by
# kind (code, data, unwind tables), plus resources, the import tables and
# GUIDs of the Windows libraries, and what the file adds itself (headers,
# relocations, alignment).
# Usage: scripts/size-report.sh [MAP [EXE]]
#   default: build/win/app/ssinstall.map and build/win/app/ssinstall.exe
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
map=${1:-$ss_root/build/win/app/ssinstall.map}
exe=${2:-${map%.map}.exe}
for f in "$map" "$exe"; do
  [ -f "$f" ] || { echo "size-report: $f is missing; build it first (bash scripts/build.sh win)" >&2; exit 2; }
done

awk -v file_size="$(stat -c %s "$exe")" '
  function hex(text,   i, v) {   # "0x1f4" -> 500 (plain awk has no strtonum)
    v = 0
    for (i = 3; i <= length(text); i++) v = v * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
    return v
  }
  function component(path) {
    if (path ~ /libjpeg/) return "libjpeg"
    if (path ~ /libz\.a/) return "zlib"
    if (path ~ /libstdc\+\+|libsupc\+\+|libgcc_eh/) return "C++ runtime"
    if (path ~ /libgcc\.a|crtbegin|crtend|crt2\.o|lib(mingw32|mingwex|moldname|msvcrt)\.a/) return "C runtime"
    if (path ~ /\.res\)?$/) return "resources"
    if (path ~ /lib(kernel32|user32|gdi32|comctl32|ole32|oleaut32|shell32|advapi32|uuid|comdlg32|winspool)\.a/)
      return "imports, GUIDs"
    if (path ~ /libss_|CMakeFiles|ltrans/) return "our code"
    return "other"
  }
  function add(section, path, size,   c, kind) {
    if (path == "LONG") return  # words the linker script writes: the file itself
    c = component(path)
    if (section == ".text") kind = "code"
    else if (section == ".rdata" || section == ".data") kind = "data"
    else if (section == ".eh_frame") kind = "unwind"
    else if (section == ".rsrc" || section == ".idata") kind = "data"
    else if (section == ".CRT" || section == ".tls") kind = "data"
    else return  # .bss takes no room in the file; debug sections are stripped
    if (c == "imports, GUIDs") kind = "data"
    bytes[c, kind] += size
    total[c] += size
  }
  /^Linker script and memory map/ { inmap = 1; next }
  !inmap { next }
  /^\.[^ ]+/ { out = $1; pending = ""; next }                # output section
  /^ [^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]/ {                # input section, one line
    add(out, $4, hex($3)); pending = ""; next
  }
  /^ [^ ]+$/ { pending = $1; next }                          # long name: numbers follow
  pending != "" && /^ +0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]/ {
    add(out, $3, hex($2)); pending = ""; next
  }
  END {
    n = split("our code|libjpeg|zlib|C++ runtime|C runtime|resources|imports, GUIDs|other", order, "|")
    printf "%-16s %9s %9s %9s %9s\n", "component", "code", "data", "unwind", "total"
    sum = 0
    for (i = 1; i <= n; i++) {
      c = order[i]
      if (!(c in total)) continue
      printf "%-16s %9d %9d %9d %9d\n", c, bytes[c, "code"], bytes[c, "data"], bytes[c, "unwind"], total[c]
      sum += total[c]; code += bytes[c, "code"]; data += bytes[c, "data"]; unwind += bytes[c, "unwind"]
    }
    printf "%-16s %9s %9s %9s %9d\n", "file itself", "", "", "", file_size - sum
    printf "%-16s %9d %9d %9d %9d\n", "file", code, data, unwind, file_size
  }
' "$map"
