# Sourced by the scripts that run Windows programs: one place for the Wine
# settings of this project. Everything Wine writes lives under build/wine.
ss_root=${ss_root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# The product is a 32-bit Windows program, tested with 32-bit Wine in a
# 32-bit prefix. Wine's 32-bit loader runs on the CPU itself, or, on a kernel
# without 32-bit support, on a CPU emulated by qemu-i386 that
# scripts/setup-deps.sh registers with binfmt_misc (such an entry also wins
# over a kernel that could run the program itself). SS_WINE_CPU says which,
# for the scripts to print; SS_WINE_SLOW is how many times slower Windows
# programs run than on the CPU itself: the tests multiply their waits on
# Windows programs by it (and CTest its time limits). Emulated code runs
# about 4-6 times slower; the waits have room beyond that.
if [ -z "${SS_WINE_CPU:-}" ]; then
  . "$ss_root/scripts/binfmt.sh"
  if ss_wine_binfmt=$(ss_i386_binfmt_entry); then
    SS_WINE_CPU="emulated: ${ss_wine_binfmt#* } via binfmt_misc entry ${ss_wine_binfmt%% *}"
    SS_WINE_SLOW=${SS_WINE_SLOW:-4}
  else
    SS_WINE_CPU=native
  fi
  unset ss_wine_binfmt
fi
export SS_WINE_CPU
export SS_WINE_SLOW=${SS_WINE_SLOW:-1}
export WINEARCH=win32
export WINEPREFIX=${WINEPREFIX:-$ss_root/build/wine/prefix}

# Fails, saying why, when Wine's 32-bit loader cannot run here.
ss_wine_check() {
  local out
  if ! out=$(/usr/lib/wine/wine --version 2>&1); then
    echo "wine: the 32-bit loader does not run on this machine ($SS_WINE_CPU): $out" >&2
    echo "wine: scripts/setup-deps.sh sets up an emulated 32-bit CPU where the kernel has none" >&2
    return 1
  fi
}

# A number of seconds (or milliseconds) stretched for the CPU that runs Wine.
ss_slow() { echo $(($1 * SS_WINE_SLOW)); }

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
