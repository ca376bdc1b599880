#!/usr/bin/env bash
# Configures and builds the project.
# Usage: build.sh [host|san|win|all|configure]
#   host: portable libraries, tools and host tests (g++)
#   san:  the host tests and fuzz targets again with clang, AddressSanitizer
#         and UndefinedBehaviorSanitizer
#   win:  the Windows program, impborl.dll and Windows tests (MinGW i686)
#   configure: only configure the host and cross builds (callers then build
#         the targets they need)
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$ss_root"
jobs=$(nproc)
what=${1:-all}

configure_host() {
  cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Release >/dev/null
}
configure_win() {
  cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DSS_JPEG_PREFIX="$ss_root/build/deps/libjpeg-mingw" -DSS_ZLIB_PREFIX="$ss_root/build/deps/zlib-mingw" \
    -DSS_RUNTIME_PREFIX="$ss_root/build/deps/i586-runtime" >/dev/null
}
build_host() {
  configure_host
  cmake --build build/host -j"$jobs"
}
build_san() {
  CC=clang CXX=clang++ cmake -S . -B build/san -DCMAKE_BUILD_TYPE=Debug -DSS_SANITIZE=ON >/dev/null
  cmake --build build/san -j"$jobs"
}
build_win() {
  configure_win
  cmake --build build/win -j"$jobs"
}

case "$what" in
  host) build_host ;;
  san) build_san ;;
  win) build_win ;;
  all) build_host && build_san && build_win ;;
  configure) configure_host && configure_win ;;
  *) echo "usage: $0 [host|san|win|all|configure]" >&2; exit 2 ;;
esac
