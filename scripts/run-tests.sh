#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the host, sanitizer and
# cross builds, starts a private X display and Wine prefix under build/,
# runs each build's CTest, and stops what it started.
set -uo pipefail

ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"
jobs=$(nproc)

bash scripts/setup-deps.sh || exit 1
bash scripts/build.sh all || exit 1

. scripts/wine-env.sh
ss_wine_check || exit 1
echo "== Windows tests: build/win (i686) under 32-bit Wine; CPU: $SS_WINE_CPU (waits x$SS_WINE_SLOW)"
. scripts/xvfb.sh
ss_start_xvfb || exit 1
trap 'wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1; ss_stop_xvfb' EXIT

ss_wine_prefix
# A persistent server makes each further Wine start cheap. Wine's own
# services are started here, detached from the test runner's output: started
# by the first test they would inherit CTest's pipes and keep CTest waiting.
wineserver -p
wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1

floor_host=213
floor_san=226
floor_win=30
total_pass=0
total_fail=0
status=0
# A build's CTest must run at least this many tests: fewer (or "No tests were
# found") means a suite went missing, which counts as a failure, never a pass.
# Raise a floor when tests are added.
run_ctest() {
  local dir=$1 floor=$2; shift 2
  local log="$ss_root/build/ctest-$(basename "$dir").log"
  echo "== tests: $(basename "$dir")"
  (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    local failed outof
    failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    outof=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    total_pass=$((total_pass + outof - failed))
    total_fail=$((total_fail + failed))
  elif [ $rc -ne 0 ]; then
    total_fail=$((total_fail + 1))
  fi
  local ran=${outof:-0}
  if grep -q 'No tests were found' "$log" || [ "$ran" -lt "$floor" ]; then
    echo "== $(basename "$dir"): $ran tests ran, at least $floor expected: a suite is missing"
    total_fail=$((total_fail + 1))
    rc=1
  fi
  [ $rc -eq 0 ] || status=1
}

run_ctest build/host "$floor_host" -j"$jobs"
run_ctest build/san "$floor_san" -j"$jobs"
run_ctest build/win "$floor_win"

# The packages as an author gets them: scripts/package.sh installs both
# builds into build/prefix, makes the .deb and the .zip and fails when
# lintian finds an error or a warning in the .deb.
echo "== packages: scripts/package.sh (lintian on the .deb)"
if bash scripts/package.sh 2>&1 | tee "$ss_root/build/package.log" | tail -n 4; [ "${PIPESTATUS[0]}" -eq 0 ]; then
  total_pass=$((total_pass + 1))
else
  echo "== packages: failed (build/package.log)"
  total_fail=$((total_fail + 1))
  status=1
fi

# Pictures the Windows tests saved as BMP, as PNG for people to look at.
for f in build/screenshots/*.bmp; do
  [ -e "$f" ] && convert "$f" "${f%.bmp}.png" && rm -f "$f"
done

echo
echo "all: $total_pass passed, $total_fail failed"
exit $status
