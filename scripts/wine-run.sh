#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix; used by CTest as
# the cross build's emulator. Usage: wine-run.sh PROGRAM.exe [ARGS...]
set -eu
ss_root=$(cd "$(dirname "$0")/.." && pwd)
. "$ss_root/scripts/wine-env.sh"
ss_wine_prefix
exec wine "$@"
