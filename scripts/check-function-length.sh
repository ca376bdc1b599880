#!/usr/bin/env bash
# Lists the product's functions longer than LIMIT lines (default 100: from
# the line that names the function to its closing brace), longest first, as
# "LINES file:line name", and exits 1 when there is one, 0 otherwise. The
# product is every room of the source tree but the tests and benchmarks.
# Needs universal-ctags (scripts/setup-deps.sh installs it).
#
#   scripts/check-function-length.sh [ROOT] [LIMIT]   (ROOT default ..)
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
limit=${2:-100}
ctags=$(command -v ctags-universal || command -v ctags) || { echo "check-function-length: no ctags" >&2; exit 2; }
"$ctags" --version 2>/dev/null | grep -q 'Universal Ctags' || { echo "check-function-length: $ctags is not universal-ctags" >&2; exit 2; }

rooms=()
for room in core codec winsys package flash app tools examples; do
  [ -d "$root/$room" ] && rooms+=("$room")
done
[ ${#rooms[@]} -gt 0 ] || { echo "check-function-length: no product room under $root" >&2; exit 2; }

cd "$root" && "$ctags" -R --languages=C++,C --kinds-C++=f --kinds-C=f --fields=+ne --output-format=json -f - \
  "${rooms[@]}" | python3 -c '
import json, sys
limit = int(sys.argv[1])
seen, long_ones = 0, []
for line in sys.stdin:
    tag = json.loads(line)
    if tag.get("_type") != "tag" or "end" not in tag:
        continue
    seen += 1
    lines = tag["end"] - tag["line"] + 1
    if lines > limit:
        long_ones.append((lines, tag["path"], tag["line"], tag["name"]))
if seen == 0:
    print("check-function-length: no function found", file=sys.stderr)
    sys.exit(2)
for lines, path, at, name in sorted(long_ones, reverse=True):
    print(f"{lines} {path}:{at} {name}")
if long_ones:
    print(f"check-function-length: {len(long_ones)} function(s) over {limit} lines", file=sys.stderr)
    sys.exit(1)
print(f"check-function-length: {seen} functions, none over {limit} lines")
' "$limit"
