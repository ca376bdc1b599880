#!/usr/bin/env bash
# The main job on the bundled sample: installs what is missing, builds the
# product, builds the sample installer with sspack, and installs it under
# Wine on a private X display (examples/demo-sample.sh): quietly first,
# showing what landed, then the installed screen saver and the installer's
# window (photographed), and finally the registered uninstall command.
# Everything lands under build/ (Wine prefix build/wine/demo, or demo64 with
# 64-bit Wine (see scripts/wine-env.sh), pictures in
# build/screenshots/).
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"

bash scripts/setup-deps.sh
. scripts/wine-env.sh
win=build/win
if [ "$SS_WINE_BITS" = 64 ]; then
  # The product is the i686 build; a kernel that runs no 32-bit programs
  # can only show the same sources built for 64-bit Windows.
  echo "demo: this kernel runs no 32-bit programs; the demo installs the 64-bit build of the installer under 64-bit Wine"
  win=build/win64
  export WINEPREFIX=$ss_root/build/wine/demo64
  bash scripts/build.sh configure64
else
  export WINEPREFIX=$ss_root/build/wine/demo
  bash scripts/build.sh configure
fi
# Only what the demo needs is built (examples/build-sample.sh builds the
# installer's parts; the stand-in Flash control comes from the tests).
cmake --build "$win" -j2 --target flashctl_7_19

. scripts/xvfb.sh
ss_start_xvfb
trap 'wineserver -k >/dev/null 2>&1 || true; ss_stop_xvfb' EXIT
ss_wine_prefix
bash examples/demo-sample.sh build/host "$win" build/sample
