#!/usr/bin/env bash
# Finds the instructions a Pentium (and a Pentium MMX, K5, K6, 6x86, 486)
# lacks in 32-bit Windows files: CMOV, FCMOV, FCOMI/FUCOMI (Pentium Pro and
# later) and SSE (any instruction on an %xmm register). Prints the count per
# file and each such instruction with its address and the function it lies
# in (--counts: the counts only).
# Usage: scripts/pentium-check.sh [--counts] FILE...
# The function comes from the link map beside the file (its name with .map,
# see ss_link_map): the input section the address lies in, which with
# -ffunction-sections names the function, and the object or archive member it
# came from. The map also tells code from the data the linker places in the
# code section (exception tables, constructor lists): what objdump decodes
# there is no instruction and is not counted. A file without a map is
# counted whole and its findings are named by address only.
# Exit status: 0 when every count is 0, 1 when any is above, 2 on a missing
# file.
set -euo pipefail

list=1
if [ "${1:-}" = "--counts" ]; then
  list=0
  shift
fi
[ $# -gt 0 ] || { echo "usage: $0 [--counts] FILE..." >&2; exit 2; }
objdump=$(command -v i686-w64-mingw32-objdump) || { echo "pentium-check: i686-w64-mingw32-objdump is missing" >&2; exit 2; }
cxxfilt=$(command -v i686-w64-mingw32-c++filt || command -v c++filt || echo cat)

status=0
for f in "$@"; do
  [ -f "$f" ] || { echo "pentium-check: $f is missing; build it first" >&2; exit 2; }
  map="${f%.*}.map"
  [ -f "$map" ] || map=/dev/null
  findings=$("$objdump" -d --no-show-raw-insn "$f" |
    awk -v mapfile="$map" '
      function hex(text,   i, v) {   # "0x4012a0" -> number (plain awk has no strtonum)
        v = 0; text = tolower(text)
        for (i = 3; i <= length(text); i++) v = v * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
        return v
      }
      function keep(name, addr, size, from) {
        if (size == 0 || out != ".text") return
        if (name !~ /^\.(text|init|fini)/) { data++; dlo[data] = addr; dhi[data] = addr + size; return }
        code++; lo[code] = addr; hi[code] = addr + size; what[code] = name " " from
      }
      BEGIN {
        while ((getline line < mapfile) > 0) {
          if (line ~ /^Linker script and memory map/) { inmap = 1; continue }
          if (!inmap) continue
          n = split(line, w, " ")
          if (line ~ /^\.[^ ]+/) { out = w[1]; pending = ""; continue }
          if (line ~ /^ [^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]/) { keep(w[1], hex(w[2]), hex(w[3]), w[4]); pending = ""; continue }
          if (line ~ /^ [^ ]+$/) { pending = w[1]; continue }
          if (pending != "" && line ~ /^ +0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]/) { keep(pending, hex(w[1]), hex(w[2]), w[3]); pending = "" }
        }
        mapped = code > 0
      }
      $2 ~ /^(cmov|fcmov|fcomi|fucomi)/ || $0 ~ /%xmm/ {
        address = $1; sub(":", "", address); a = hex("0x" address)
        where = ""
        if (mapped) {
          for (i = 1; i <= code; i++) if (a >= lo[i] && a < hi[i]) { where = what[i]; base = lo[i]; break }
          if (where == "") {
            indata = 0
            for (i = 1; i <= data; i++) if (a >= dlo[i] && a < dhi[i]) indata = 1
            if (indata) next   # bytes of a table, not an instruction
            where = "(outside every input section)"
          } else {
            where = sprintf("%s +0x%x", where, a - base)
          }
        }
        kind = $2 ~ /^cmov/ ? "CMOV" : $2 ~ /^f/ ? "FCOMI/FCMOV" : "SSE"
        print kind, "0x" address, $2, where
      }')
  counts=$(printf '%s\n' "$findings" | awk '
    $1 == "CMOV" {c++} $1 == "FCOMI/FCMOV" {f++} $1 == "SSE" {s++}
    END {printf "CMOV %d, FCOMI/FCMOV %d, SSE %d", c, f, s}')
  echo "$(basename "$f"): $counts"
  if [ -n "$findings" ]; then
    status=1
    if [ $list -eq 1 ]; then
      # The section name is .text$<mangled function>: demangled for reading.
      printf '%s\n' "$findings" | sed -E 's/ \.text\$([^ ]+)/ \1/' | "$cxxfilt" | sed "s|^|  $(basename "$f"): |"
    fi
  fi
done
exit $status
