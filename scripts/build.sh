#!/usr/bin/env bash
# Configures and builds the project.
# Usage: build.sh [host|san|win|win64|all|configure|configure64]
#   host: portable libraries, tools and host tests (g++)
#   san:  the host tests and fuzz targets again with clang, AddressSanitizer
#         and UndefinedBehaviorSanitizer
#   win:  the Windows program, impborl.dll and Windows tests (MinGW i686)
#   win64: the same for 64-bit Windows (MinGW x86_64), for running the
#         Windows tests where the kernel runs no 32-bit programs
#   configure: only configure the host and cross builds (callers then build
#         the targets they need); configure64: the host and 64-bit builds
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
    -DSS_JPEG_PREFIX="$ss_root/build/deps/libjpeg-mingw" >/dev/null
}
configure_win64() {
  cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DSS_JPEG_PREFIX="$ss_root/build/deps/libjpeg-mingw64" >/dev/null
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
build_win64() {
  configure_win64
  cmake --build build/win64 -j"$jobs"
}

case "$what" in
  host) build_host ;;
  san) build_san ;;
  win) build_win ;;
  win64) build_win64 ;;
  all) build_host && build_san && build_win ;;
  configure) configure_host && configure_win ;;
  configure64) configure_host && configure_win64 ;;
  *) echo "usage: $0 [host|san|win|win64|all|configure|configure64]" >&2; exit 2 ;;
esac
