# Sourced by the scripts that run Windows programs: one place for the Wine
# settings of this project. Everything Wine writes lives under build/wine.
ss_root=${ss_root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# The product is a 32-bit Windows program, tested with 32-bit Wine. Some
# kernels run no 32-bit programs at all (Wine's own 32-bit loader then fails
# with "Exec format error"); there the Windows tests run from the 64-bit
# build (build/win64) under 64-bit Wine instead, through small stand-ins for
# the wine, wineserver, wineboot and winepath commands that go straight to
# the 64-bit programs. SS_WINE_BITS tells which (32 or 64).
if [ -z "${SS_WINE_BITS:-}" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    SS_WINE_BITS=32
  else
    SS_WINE_BITS=64
  fi
fi
export SS_WINE_BITS
if [ "$SS_WINE_BITS" = 64 ]; then
  export WINEARCH=win64
  export WINEPREFIX=${WINEPREFIX:-$ss_root/build/wine/prefix64}
  export WINELOADER=/usr/lib/wine/wine64
  ss_wine_bin="$ss_root/build/wine/bin64"
  if [ ! -x "$ss_wine_bin/winepath" ]; then
    mkdir -p "$ss_wine_bin"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$ss_wine_bin/wine"
    printf '#!/bin/sh\nexec /usr/lib/wine/wineserver64 "$@"\n' >"$ss_wine_bin/wineserver"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 wineboot.exe "$@"\n' >"$ss_wine_bin/wineboot"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 winepath.exe "$@"\n' >"$ss_wine_bin/winepath.tmp"
    chmod 755 "$ss_wine_bin/wine" "$ss_wine_bin/wineserver" "$ss_wine_bin/wineboot" "$ss_wine_bin/winepath.tmp"
    mv "$ss_wine_bin/winepath.tmp" "$ss_wine_bin/winepath"
  fi
  case ":$PATH:" in
    *":$ss_wine_bin:"*) ;;
    *) export PATH="$ss_wine_bin:$PATH" ;;
  esac
  # The build whose Windows programs run here.
  export SS_WIN_BUILD=${SS_WIN_BUILD:-$ss_root/build/win64}
else
  export WINEARCH=win32
  export WINEPREFIX=${WINEPREFIX:-$ss_root/build/wine/prefix}
  export SS_WIN_BUILD=${SS_WIN_BUILD:-$ss_root/build/win}
fi
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
