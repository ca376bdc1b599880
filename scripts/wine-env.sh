# Sourced by the scripts that run Windows programs: one place for the Wine
# settings of this project. Everything Wine writes lives under build/wine.
ss_root=${ss_root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEARCH=win32
export WINEPREFIX=${WINEPREFIX:-$ss_root/build/wine/prefix}
# Readable logs: nothing but the program's own debug lines and Wine's errors.
export WINEDEBUG=${WINEDEBUG:--all,err+all,warn+debugstr}
# Prefix creation must not offer to install Mono or Gecko.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Creates the prefix once (serialised by a lock, since tests may start in
# parallel). Window-manager decorations are turned off so that hiding or
# destroying a top-level window does not wait for a window manager.
ss_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.ss-ready" ]; then
      rm -rf "$WINEPREFIX"
      DISPLAY= wineboot -i >/dev/null 2>&1 || true
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.ss-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}
