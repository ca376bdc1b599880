# Sourced: starts and stops a private Xvfb display whose process id is kept,
# so that it is stopped by id and never by name.
ss_start_xvfb() {
  mkdir -p "$ss_root/build"
  local fdfile="$ss_root/build/xvfb.$$.display"
  rm -f "$fdfile"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  SS_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  if [ ! -s "$fdfile" ]; then
    echo "xvfb: display did not start" >&2
    return 1
  fi
  export DISPLAY=":$(tr -d '[:space:]' <"$fdfile")"
  rm -f "$fdfile"
}

ss_stop_xvfb() {
  if [ -n "${SS_XVFB_PID:-}" ]; then
    kill "$SS_XVFB_PID" 2>/dev/null
    wait "$SS_XVFB_PID" 2>/dev/null
    SS_XVFB_PID=
  fi
}
