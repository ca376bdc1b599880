# Sourced by the end-to-end test scripts: waiting on the programs they start.
# The waits are given for the CPU itself and stretched by SS_WINE_SLOW (set
# by scripts/wine-env.sh) where an emulated CPU runs the Windows programs.
[ -n "${SS_WINE_SLOW:-}" ] || . "$ss_root/scripts/wine-env.sh"

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
