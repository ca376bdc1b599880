#!/usr/bin/env bash
# The main job on the bundled sample: installs what is missing, builds the
# product, builds the sample installer with sspack, and installs it under
# Wine on a private X display (examples/demo-sample.sh): quietly first,
# showing what landed, then the installed screen saver and the installer's
# window (photographed), and finally the registered uninstall command.
# Everything lands under build/ (Wine prefix build/wine/demo, pictures in
# build/screenshots/).
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"

bash scripts/setup-deps.sh
# Only what the demo needs is built (examples/build-sample.sh builds the
# installer's parts; the stand-in Flash control comes from the tests).
bash scripts/build.sh configure
cmake --build build/win -j2 --target flashctl_7_19

export WINEPREFIX=$ss_root/build/wine/demo
. scripts/wine-env.sh
. scripts/xvfb.sh
ss_start_xvfb
trap 'wineserver -k >/dev/null 2>&1 || true; ss_stop_xvfb' EXIT
ss_wine_prefix
bash examples/demo-sample.sh build/host build/win build/sample
