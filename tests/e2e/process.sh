# Sourced by the end-to-end test scripts: running Windows programs and
# waiting on them, reading the helpers' key=value lines, and counting
# failures. The waits are given for the CPU itself and stretched by
# SS_WINE_SLOW (set by scripts/wine-env.sh) where an emulated CPU runs the
# Windows programs.
[ -n "${SS_WINE_SLOW:-}" ] || . "$ss_root/scripts/wine-env.sh"
run="$ss_root/scripts/wine-run.sh"
failures=${failures:-0}

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Stops the script at once when there is no X display; $1 says what needs it.
need_display() {
  [ -n "${DISPLAY:-}" ] && return
  echo "FAIL: no DISPLAY; $1 an X display (Xvfb)"
  exit 1
}

# Ends the script with exit code 1 when anything failed ($1 is added to the
# count's line); else returns.
exit_on_failures() {
  [ "$failures" -eq 0 ] && return
  echo "$failures failure(s)${1:-}"
  exit 1
}

# value KEY FILE: the value of a key=value line.
value() { sed -n "s/^$1=//p" "$2" | head -n 1 | tr -d '\r'; }

# Waits up to $2 seconds (stretched) for process $1 (started by the calling
# shell) to end and leaves its exit code in $exit_code; a process that does
# not end is stopped and $exit_code is "timeout".
wait_for_exit() {
  local pid=$1 seconds=$(($2 * SS_WINE_SLOW)) i
  for ((i = 0; i < seconds * 10; i++)); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      exit_code=$?
      return 0
    fi
    sleep 0.1
  done
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exit_code=timeout
  return 1
}
