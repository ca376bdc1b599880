#!/usr/bin/env bash
# The main job on the bundled sample: installs what is missing, builds the
# product and installs sspack into the prefix build/prefix (scripts/package.sh,
# which also makes the .deb and .zip), builds the sample installer with the
# installed sspack (which finds its stub and library by itself), and installs
# it under Wine on a private X display (examples/demo-sample.sh): quietly first,
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
# Only what the demo needs is built: the installed tool's parts
# (scripts/package.sh) and the stand-in Flash control of the tests.
prefix=build/prefix
bash scripts/package.sh --prefix "$prefix"
cmake --build "$win" -j2 --target flashctl_7_19

. scripts/xvfb.sh
ss_start_xvfb
trap 'wineserver -k >/dev/null 2>&1 || true; ss_stop_xvfb' EXIT
ss_wine_prefix
bash examples/demo-sample.sh --installed "$prefix" "$win" build/sample
