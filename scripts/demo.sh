#!/usr/bin/env bash
# The main job on the bundled sample: installs what is missing, builds the
# product, and runs the installer under Wine on a private X display, showing
# what it does. Screenshots land in build/screenshots/.
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"

bash scripts/setup-deps.sh
bash scripts/build.sh host
bash scripts/build.sh win

. scripts/wine-env.sh
. scripts/xvfb.sh
ss_start_xvfb
trap 'wineserver -k >/dev/null 2>&1 || true; ss_stop_xvfb' EXIT
ss_wine_prefix
mkdir -p build/screenshots build/demo

stub=build/win/app/ssinstall.exe
echo "demo: running the bare installer stub (no package attached) quietly"
set +e
wine "$stub" /q 2>build/demo/quiet.log
code=$?
set -e
echo "demo: exit code $code (low byte of -31, the code for a missing package header)"

echo "demo: running it again with its window, photographing the box it shows"
wine "$stub" 2>build/demo/interactive.log &
pid=$!
for _ in $(seq 1 50); do
  xdotool search --name '^Error$' >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 0.5
import -window root build/screenshots/demo-stub.png
# The box has the keyboard focus; Return presses its only button.
xdotool key Return || true
wait $pid || true
echo "demo: the stub's debug log:"
grep -o 'OutputDebugStringA ".*"' build/demo/interactive.log || true
echo "demo: screenshot in build/screenshots/demo-stub.png"
