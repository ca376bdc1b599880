#!/usr/bin/env bash
# Installs sspack into a prefix and makes its packages. Builds what the
# installed tool needs from both builds when it is missing or out of date
# (the host build's sspack and the sample's pictures and settings; the cross
# build's stub ssinstall.exe, impborl.dll, sspack.exe and the sample's engine
# and libraries), installs the host build and the cross build's Windows parts
# into one prefix (see cmake/Install.cmake for the layout), and makes the
# Linux .deb and the Windows .zip with CPack in build/packages/.
# Usage: scripts/package.sh [--prefix DIR] [--no-packages]
#   --prefix DIR    where to install (default build/prefix); a prefix under
#                   build/ is emptied first, any other is installed over
#   --no-packages   install only, no .deb or .zip
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"

prefix=build/prefix
packages=1
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) [ $# -ge 2 ] || { echo "package: --prefix needs a folder" >&2; exit 2; }; prefix=$2; shift 2 ;;
    --no-packages) packages=0; shift ;;
    *) echo "usage: $0 [--prefix DIR] [--no-packages]" >&2; exit 2 ;;
  esac
done
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)

jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
if [ ! -f build/host/CMakeCache.txt ] || [ ! -f build/win/CMakeCache.txt ]; then
  bash scripts/build.sh configure
fi
cmake --build build/host -j"$jobs" --target sspack sspack_docs sample_files >/dev/null
cmake --build build/win -j"$jobs" --target sspack ssinstall impborl sample_saver sample_aquafx \
  sample_aquacap >/dev/null

case "$prefix/" in
  "$ss_root/build/"?*) find "$prefix" -mindepth 1 -delete ;;
esac
cmake --install build/host --prefix "$prefix" --strip >/dev/null
cmake --install build/win --prefix "$prefix" --component runtime >/dev/null
cmake --install build/win --prefix "$prefix" --component wintool >/dev/null
echo "package: installed into $prefix"
"$prefix/bin/sspack" --version | sed 's/^/  /'

if [ "$packages" = 1 ]; then
  # The host build's CPack configuration takes each package's parts from
  # both builds (cmake/CPackProjects.cmake.in).
  cpack --config build/host/CPackConfig.cmake -G "DEB;ZIP" >build/packages.log 2>&1 ||
    { cat build/packages.log >&2; echo "package: cpack failed" >&2; exit 1; }
  for f in build/packages/*.deb build/packages/*.zip; do
    echo "package: $f ($(stat -c %s "$f") bytes)"
  done
  # Debian's own checks of the .deb (scripts/setup-deps.sh installs lintian):
  # any error or warning fails the packaging.
  if command -v lintian >/dev/null; then
    for f in build/packages/*.deb; do
      findings=$(lintian "$f" 2>&1 || true)
      if printf '%s\n' "$findings" | grep -q '^[EW]: '; then
        printf '%s\n' "$findings" >&2
        echo "package: lintian finds errors or warnings in $f" >&2
        exit 1
      fi
      echo "package: lintian: $f: no errors or warnings"
    done
  else
    echo "package: lintian not installed; the .deb is not checked"
  fi
fi
