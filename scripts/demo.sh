#!/usr/bin/env bash
# The main job on the bundled sample: installs what is missing, builds the
# product, builds the sample installer with sspack, and installs it under
# Wine on a private X display (examples/demo-sample.sh): quietly first,
# showing what landed, then the installed screen saver and the installer's
# window (photographed), and finally the registered uninstall command.
# Everything lands under build/ (Wine prefix build/wine/demo, pictures in
# build/screenshots/). Where the kernel runs no 32-bit programs, Wine runs on
# the CPU emulated by qemu-i386 (see scripts/wine-env.sh).
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"

bash scripts/setup-deps.sh
. scripts/wine-env.sh
ss_wine_check
echo "demo: the i686 build under 32-bit Wine; CPU: $SS_WINE_CPU"
win=build/win
export WINEPREFIX=$ss_root/build/wine/demo
bash scripts/build.sh configure
# Only what the demo needs is built (examples/build-sample.sh builds the
# installer's parts; the stand-in Flash control comes from the tests).
cmake --build "$win" -j2 --target flashctl_7_19

. scripts/xvfb.sh
ss_start_xvfb
trap 'wineserver -k >/dev/null 2>&1 || true; ss_stop_xvfb' EXIT
ss_wine_prefix
bash examples/demo-sample.sh build/host "$win" build/sample
