#!/usr/bin/env bash
# Installs everything the two builds and the Wine-based tests need, as root,
# without questions. Safe to run again: what is present is skipped, so a
# second run takes seconds.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache="$root/build/deps"
mkdir -p "$cache"

export DEBIAN_FRONTEND=noninteractive
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# Debian packages. wine32:i386 needs the i386 architecture enabled first.
# The preloaders reserve the address ranges Wine needs before anything else
# can take them; without them a start now and then fails ("failed to map
# the shared user data").
packages=(
  cmake make g++ pkg-config
  g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-tools
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  wine wine64 wine32:i386 wine64-preloader wine32-preloader:i386
  xvfb xdotool imagemagick x11-utils
  googletest libgtest-dev libbenchmark-dev
  libstorm-dev zlib1g-dev nlohmann-json3-dev libcli11-dev python3-yaswfp
  clang libclang-rt-14-dev llvm
  dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  need_update=1
fi

# Source entries are needed for libjpeg-turbo below.
srcfile=/etc/apt/sources.list.d/project-deb-src.sources
if [ ! -f "$srcfile" ]; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$srcfile" >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $sudo tee "$srcfile" >/dev/null
  fi
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  echo "setup: installing ${missing[*]:-(source lists only)}"
  $sudo apt-get update -q
  if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
fi

# libjpeg-turbo for MinGW, built once per target from Debian's own source
# package: i686 for the product, x86_64 for the 64-bit test build.
build_jpeg() {
  local toolchain=$1 prefix=$2
  [ -f "$prefix/lib/libjpeg.a" ] && return 0
  echo "setup: building libjpeg-turbo for $(basename "$toolchain" .cmake)"
  local work="$cache/libjpeg-src"
  rm -rf "$work" && mkdir -p "$work"
  (cd "$work" && apt-get source --download-only -q libjpeg-turbo >/dev/null)
  local tarball src
  tarball=$(ls "$work"/libjpeg-turbo_*.orig.tar.gz | head -n 1)
  tar -xzf "$tarball" -C "$work"
  src=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'libjpeg-turbo*' | head -n 1)
  cmake -S "$src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$work/build" -j"$(nproc)" >/dev/null || return 1
  cmake --install "$work/build" >/dev/null
  rm -rf "$work"
}
build_jpeg "$root/cmake/mingw-i686.cmake" "$cache/libjpeg-mingw"
build_jpeg "$root/cmake/mingw-x86_64.cmake" "$cache/libjpeg-mingw64"

echo "setup: dependencies ready"
