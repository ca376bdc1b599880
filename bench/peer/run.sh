#!/usr/bin/env bash
# The installer against NSIS, measured in the same run (not part of the test
# command). Builds what it needs, makes the benchmark's own Wine prefix
# (build/wine/peer), starts a private display and a persistent wineserver,
# registers the stand-in Flash control the installer looks for, and hands
# over to bench/peer/peer.py, which makes the two payloads, builds our and
# the NSIS installers, checks that their installs leave the same state,
# times builds and silent installs in alternated rounds and prints the table
# (also written to build/peer/results.md).
# Usage: bash bench/peer/run.sh [--rounds N] [--build-rounds N] [--baseline DIR]
#   --rounds N        alternated rounds of silent installs (default 9)
#   --build-rounds N  alternated rounds of builds (default 3)
#   --baseline DIR    a folder holding another build's ssinstall.exe and
#                     impborl.dll (an earlier commit's, say), measured as one
#                     more installer in the same rounds
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ss_root"
rounds=9
build_rounds=3
baseline=()
usage() { echo "usage: $0 [--rounds N] [--build-rounds N] [--baseline DIR]" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --rounds) rounds=${2:-}; shift 2 || usage ;;
    --build-rounds) build_rounds=${2:-}; shift 2 || usage ;;
    --baseline) baseline=(--baseline "$(cd "${2:-}" && pwd)"); shift 2 || usage ;;
    *) usage ;;
  esac
done

# NSIS is the peer, needed by this benchmark only: setup-deps.sh installs it
# when asked to.
if ! command -v makensis >/dev/null 2>&1; then
  SS_PEER_BENCH=1 bash scripts/setup-deps.sh
fi

export WINEPREFIX=$ss_root/build/wine/peer
. scripts/wine-env.sh
ss_wine_check
echo "peer bench: the i686 build under 32-bit Wine; CPU: $SS_WINE_CPU"
out=$ss_root/build/peer
mkdir -p "$out"

[ -f build/host/CMakeCache.txt ] && [ -f build/win/CMakeCache.txt ] || bash scripts/build.sh configure
# The sample installer's parts and its stage (the sample payload), and the
# stand-in Flash control.
examples/build-sample.sh build/host build/win "$out/sample" >/dev/null
cmake --build build/win -j2 --target flashctl_7_19 >/dev/null
flashctl=$(find build/win -name flashctl_7_19.dll | head -n 1)

. scripts/xvfb.sh
server_started=
cleanup() {
  wine reg delete 'HKCR\CLSID\{D27CDB6E-AE6D-11cf-96B8-444553540000}' /f >/dev/null 2>&1 || true
  [ -n "$server_started" ] && { wineserver -k >/dev/null 2>&1 || true; }
  ss_stop_xvfb
}
trap cleanup EXIT
ss_start_xvfb
ss_wine_prefix
# One persistent server for the whole run: every start of a program costs
# the same for both installers, and little.
wineserver -p
server_started=1
wine reg add 'HKCR\CLSID\{D27CDB6E-AE6D-11cf-96B8-444553540000}\InprocServer32' /ve \
  /d "$(winepath -w "$flashctl")" /f >/dev/null 2>&1

WINEDEBUG=-all python3 -B bench/peer/peer.py --out "$out" --sample "$out/sample/stage" \
  --sspack build/host/tools/sspack --stub build/win/app/ssinstall.exe --impborl build/win/codec/impborl.dll \
  --prefix "$WINEPREFIX" --rounds "$rounds" --build-rounds "$build_rounds" --cpu "$SS_WINE_CPU" "${baseline[@]}"
