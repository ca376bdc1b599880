#!/usr/bin/env bash
# Installs everything the builds and the Wine-based tests need, as root,
# without questions. Safe to run again: what is present is skipped, so a
# second run takes seconds.
# Usage: setup-deps.sh [--unregister-qemu]
#   SS_EMULATE_I386=1 sets up the emulated 32-bit CPU (below) even where the
#   kernel runs 32-bit programs itself, to try that path on such a machine;
#   --unregister-qemu removes this project's registration again (and does
#   nothing else). SS_PEER_BENCH=1 also installs NSIS (makensis), which
#   only bench/peer/run.sh needs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache="$root/build/deps"

export DEBIAN_FRONTEND=noninteractive
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
. "$root/scripts/binfmt.sh"

case "${1:-}" in
  "") ;;
  --unregister-qemu)
    if [ -e "$ss_binfmt_dir/$ss_binfmt_name" ]; then
      echo -1 | $sudo tee "$ss_binfmt_dir/$ss_binfmt_name" >/dev/null
      echo "setup: binfmt_misc entry $ss_binfmt_name removed; 32-bit programs run on the CPU itself again"
    else
      echo "setup: no binfmt_misc entry $ss_binfmt_name to remove"
    fi
    exit 0
    ;;
  *)
    echo "usage: $0 [--unregister-qemu]" >&2
    exit 2
    ;;
esac
mkdir -p "$cache"

# Debian packages. wine32:i386 needs the i386 architecture enabled first.
# The preloaders reserve the address ranges Wine needs before anything else
# can take them; without them a start now and then fails ("failed to map
# the shared user data"). osslsigncode signs installers (sspack build
# --sign) and checks the signatures in the tests; openssl makes the tests'
# throw-away certificates. python3-jsonschema checks manifests against
# sspack's schema in the host tests, independently of sspack's own reader;
# lintian checks the .deb (scripts/package.sh),
# groff renders sspack's manual page (its plain-text copy and its test);
# universal-ctags finds the functions for the function-length check.
packages=(
  cmake make g++ pkg-config
  g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-tools
  libz-mingw-w64-dev
  wine wine64 wine32:i386 wine64-preloader wine32-preloader:i386
  xvfb xdotool imagemagick x11-utils
  googletest libgtest-dev libbenchmark-dev
  libstorm-dev zlib1g-dev nlohmann-json3-dev libcli11-dev python3-yaswfp
  clang libclang-rt-14-dev llvm
  dpkg-dev lintian groff-base
  osslsigncode openssl
  python3-jsonschema
  universal-ctags
)

# man renders the manual page in its test (man -l --warnings).
command -v man >/dev/null || packages+=(man-db)

# NSIS, the peer that bench/peer/run.sh measures the installer against:
# only when that benchmark asks (it is not part of the test command).
if [ "${SS_PEER_BENCH:-0}" = 1 ]; then
  packages+=(nsis)
fi

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

# The address of the server the machine takes Debian CODENAME itself from:
# the first deb source (deb822 .sources files or one-line .list entries)
# whose suites include CODENAME exactly. Prints nothing when there is none.
release_uri() {
  local codename=$1 f
  {
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      awk -v want="$codename" '
        function flush() { if (deb && uri != "" && suite) { print uri; found = 1; exit } }
        /^[[:space:]]*$/ { flush(); deb = 0; uri = ""; suite = 0; next }
        /^Types:/ { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
        /^URIs:/ { uri = $2 }
        /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == want) suite = 1 }
        /^Enabled:[[:space:]]*no/ { deb = 0 }
        END { if (!found) flush() }' "$f"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      awk -v want="$codename" '$1 == "deb" {
        i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        if ($(i + 1) == want) { print $i; exit } }' "$f"
    done
  } | head -n 1
}

# The 32-bit CPU. Wine's 32-bit loader is an i386 program; some kernels of
# this kind run none ("Exec format error"). There the kernel hands i386
# programs to qemu-i386 through binfmt_misc, with the F flag (the
# interpreter is opened once, at registration, so it serves every mount
# namespace and user). Debian 12's own qemu 7.2 crashes Wine in its
# exception paths; the qemu-user of bookworm-backports (10.0, whose
# qemu-i386 is a static binary) runs it, so that one package, and only it,
# comes from backports. A registration that is already there is left alone,
# and a kernel with 32-bit support gets nothing.
setup_i386_cpu() {
  local started=$SECONDS entry qemu=/usr/bin/qemu-i386 did=()
  if entry=$(ss_i386_binfmt_entry); then
    echo "setup: 32-bit programs run through binfmt_misc entry ${entry%% *} (${entry#* }); left as it is"
    return 0
  fi
  if [ "${SS_EMULATE_I386:-0}" != 1 ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
      echo "setup: this kernel runs 32-bit programs itself; no CPU emulator needed"
      return 0
    fi
  fi

  local version
  version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
  if [ -z "$version" ] || dpkg --compare-versions "$version" lt 1:10; then
    local codename list=/etc/apt/sources.list.d/project-backports.sources
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    if [ ! -f "$list" ]; then
      # The backports suite comes from the same server as the release itself,
      # as the machine's own package configuration names it; nothing else.
      local uri
      uri=$(release_uri "$codename")
      if [ -z "$uri" ]; then
        echo "setup: no source for Debian $codename found in /etc/apt/sources.list or /etc/apt/sources.list.d/;" >&2
        echo "setup: add the release's own source, or install qemu-user 10 or later by hand" >&2
        return 1
      fi
      printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: %s\n' \
        "$uri" "$codename" /usr/share/keyrings/debian-archive-keyring.gpg |
        $sudo tee "$list" >/dev/null
      did+=("$codename-backports source added")
    fi
    $sudo apt-get update -q >/dev/null
    # Only qemu-user may come from backports: its dependencies must resolve
    # from the release itself (backports is never chosen by itself, and this
    # checks that nothing else is taken from it along the way).
    local plan others
    plan=$(apt-get install -s -q --no-install-recommends "qemu-user/$codename-backports" 2>&1) || {
      echo "setup: qemu-user cannot be installed from $codename-backports:" >&2
      echo "$plan" >&2
      return 1
    }
    others=$(grep '^Inst ' <<<"$plan" | grep -i backports | grep -v '^Inst qemu-user ' || true)
    if [ -n "$others" ]; then
      echo "setup: qemu-user from $codename-backports would bring other packages from there; refused:" >&2
      echo "$others" >&2
      return 1
    fi
    $sudo apt-get install -y -q --no-install-recommends "qemu-user/$codename-backports" >/dev/null
    version=$(dpkg-query -W -f='${Version}' qemu-user)
    did+=("qemu-user $version installed")
  fi
  if [ ! -x "$qemu" ] || readelf -l "$qemu" 2>/dev/null | grep -q 'program interpreter'; then
    echo "setup: $qemu is missing or not a static program; it cannot be registered with the F flag" >&2
    return 1
  fi

  if [ ! -e "$ss_binfmt_dir/register" ]; then
    $sudo mount -t binfmt_misc none "$ss_binfmt_dir"
    did+=("binfmt_misc mounted")
  fi
  if [ -e "$ss_binfmt_dir/$ss_binfmt_name" ]; then
    # This project's own entry, switched off: switched on again.
    echo 1 | $sudo tee "$ss_binfmt_dir/$ss_binfmt_name" >/dev/null
  else
    printf ':%s:M::%s:%s:%s:F\n' "$ss_binfmt_name" "$ss_i386_magic" "$ss_i386_mask" "$qemu" |
      $sudo tee "$ss_binfmt_dir/register" >/dev/null
  fi
  echo 1 | $sudo tee "$ss_binfmt_dir/status" >/dev/null
  did+=("$qemu registered for i386 programs as $ss_binfmt_name")
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "setup: Wine's 32-bit loader still does not run through $qemu" >&2
    return 1
  fi
  local what
  what=$(printf '%s, ' "${did[@]}")
  echo "setup: emulated 32-bit CPU: ${what%, } ($((SECONDS - started)) s)"
}
setup_i386_cpu

# Fetches the source package $1 into the directory $2. The candidate version
# first; where its files are not to be had (a mirror without the security
# pool), each other version the source lists offer.
fetch_source() {
  local package=$1 work=$2 version
  (cd "$work" && apt-get source --download-only -q "$package" >/dev/null 2>&1) && return 0
  for version in $(apt-cache showsrc "$package" | sed -n 's/^Version: //p'); do
    rm -rf "${work:?}"/*
    (cd "$work" && apt-get source --download-only -q "$package=$version" >/dev/null 2>&1) && return 0
  done
  echo "setup: the source of $package cannot be fetched" >&2
  return 1
}

# The C libraries the installer stub links are built here, once, from
# Debian's own source packages, for size (the stub travels with every
# installer): -Os, each function in a section of its own (the stub's link
# drops those nothing calls), and no unwind tables (no C++ exception passes
# through them: libjpeg reports errors by longjmp, zlib by return codes).
# Each library's recipe and the toolchain files are kept beside it: when
# either changes, the library is built again.
ss_c_size_flags="-Os -DNDEBUG -ffunction-sections -fno-asynchronous-unwind-tables"

# libjpeg-turbo. Also: Microsoft's printf family instead of MinGW's own
# (40 KB; libjpeg formats only messages, which the installer never shows),
# and without the decoder features the installer never asks for: it decodes
# at full size (no IDCT scaling) with the default accurate integer DCT (not
# the fast or floating-point ones) and fancy upsampling (not the merged
# upsampler), into 24-bit RGB (no colour quantisation). Those are
# configuration switches of libjpeg itself (jmorecfg.h).
jpeg_unused="DCT_IFAST DCT_FLOAT IDCT_SCALING UPSAMPLE_MERGING QUANT_1PASS QUANT_2PASS"
build_jpeg() {
  local toolchain=$1 prefix=$2
  local stamp="$prefix/toolchain.txt" want flags="$ss_c_size_flags -D__USE_MINGW_ANSI_STDIO=0"
  want=$(cat "$toolchain" "$(dirname "$toolchain")/mingw-common.cmake"; echo "$flags; off: $jpeg_unused")
  [ -f "$prefix/lib/libjpeg.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$want" ] && return 0
  rm -rf "$prefix"
  echo "setup: building libjpeg-turbo for $(basename "$toolchain" .cmake)"
  local work="$cache/libjpeg-src"
  rm -rf "$work" && mkdir -p "$work"
  fetch_source libjpeg-turbo "$work" || return 1
  local tarball src feature
  tarball=$(ls "$work"/libjpeg-turbo_*.orig.tar.gz | head -n 1)
  tar -xzf "$tarball" -C "$work"
  src=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'libjpeg-turbo*' | head -n 1)
  for feature in $jpeg_unused; do
    grep -q "^#define ${feature}_SUPPORTED" "$src/jmorecfg.h" || { echo "setup: jmorecfg.h has no $feature" >&2; return 1; }
    sed -i "s/^#define ${feature}_SUPPORTED/#undef  ${feature}_SUPPORTED/" "$src/jmorecfg.h"
  done
  cmake -S "$src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DCMAKE_C_FLAGS_RELEASE="$flags" -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$work/build" -j"$(nproc)" >/dev/null || return 1
  cmake --install "$work/build" >/dev/null
  printf '%s' "$want" >"$stamp"
  rm -rf "$work"
}
build_jpeg "$root/cmake/mingw-i686.cmake" "$cache/libjpeg-mingw"

# zlib's inflate side (the stub only inflates compressed Flash movies, zlib
# streams), without gzip support (NO_GZIP: gzip headers and their CRC-32 are
# never read from a zlib stream). Tests that also deflate link Debian's
# complete MinGW zlib besides.
build_zlib() {
  local toolchain=$1 prefix=$2
  local stamp="$prefix/toolchain.txt" want flags="$ss_c_size_flags -DNO_GZIP" parts="adler32 inffast inflate inftrees zutil"
  want=$(cat "$toolchain" "$(dirname "$toolchain")/mingw-common.cmake"; echo "$flags; $parts")
  [ -f "$prefix/lib/libz.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$want" ] && return 0
  rm -rf "$prefix"
  echo "setup: building zlib (inflate) for $(basename "$toolchain" .cmake)"
  local work="$cache/zlib-src" src part sources=""
  rm -rf "$work" && mkdir -p "$work"
  fetch_source zlib "$work" || return 1
  mkdir -p "$work/project"
  tar -xf "$(ls "$work"/zlib_*.orig.tar.* | head -n 1)" -C "$work"
  src=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'zlib-*' | head -n 1)
  for part in $parts; do sources="$sources $src/$part.c"; done
  # A small project of our own over those sources, built with the toolchain file.
  cat >"$work/project/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(zlib_inflate C)
add_library(z STATIC$sources)
install(TARGETS z ARCHIVE DESTINATION lib)
install(FILES $src/zlib.h $src/zconf.h DESTINATION include)
EOF
  cmake -S "$work/project" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$flags" -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$work/build" >/dev/null || return 1
  cmake --install "$work/build" >/dev/null
  printf '%s' "$want" >"$stamp"
  rm -rf "$work"
}
build_zlib "$root/cmake/mingw-i686.cmake" "$cache/zlib-mingw"

# The static runtime pieces the shipped files link, rebuilt for the Pentium.
# Debian builds libstdc++, libgcc and the MinGW-w64 C runtime for i686 (the
# Pentium Pro): their compiled code has CMOV and FCOMI, which a Pentium, K6,
# 6x86 or 486 stops at with an illegal instruction. The members the shipped
# files take from those archives are compiled again here, from Debian's own
# sources of the installed compilers (gcc-12, mingw-w64), with -march=i586
# and otherwise the flags and configuration of the original build (the same
# exported and imported symbols, member by member), and put into copies of
# the archives in place of the originals; the cross build links those copies
# (SS_RUNTIME_PREFIX in CMakeLists.txt), so the link takes the same members
# as before.
# tests/win/core's shipped_files_run_on_a_pentium names any member still
# missing here. Kept apart from the libraries above in i586-runtime.
rt_gcc_members="libgcc/unwind-dw2.c libgcc/unwind-dw2-fde.c libgcc/unwind-c.c libgcc/emutls.c"
rt_stdcxx_members="src/c++11/string-inst.cc src/c++11/cow-string-inst.cc src/c++11/random.cc src/c++98/tree.cc
  libsupc++/eh_alloc.cc libsupc++/eh_catch.cc libsupc++/eh_personality.cc libsupc++/eh_terminate.cc
  libsupc++/new_op.cc libiberty/cp-demangle.c"
rt_crt_members="crt2.o:crt/crtexe.c libmingw32.a:crt/pesect.c libmingw32.a:crt/pseudo-reloc.c
  libmingwex.a:gdtoa/gdtoa.c libmingwex.a:gdtoa/misc.c libmingwex.a:stdio/mingw_pformat.c
  libmsvcrt.a:misc/mbrtowc.c libmsvcrt.a:misc/wcrtomb.c"
build_i586_runtime() {
  local toolchain=$1 prefix=$2
  local stamp="$prefix/toolchain.txt" want
  local cc=i686-w64-mingw32-gcc-win32 cxx=i686-w64-mingw32-g++-win32
  local gcclib sysroot=/usr/i686-w64-mingw32/lib
  gcclib=$(dirname "$($cc -print-libgcc-file-name)")
  want=$(cat "$toolchain"; sed -n '/^rt_gcc_members=/,/^build_i586_runtime "/p' "$root/scripts/setup-deps.sh"
         dpkg-query -W -f='${Package} ${Version}\n' gcc-mingw-w64-i686-win32 mingw-w64-i686-dev)
  [ -f "$prefix/lib/libstdc++.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$want" ] && return 0
  local started=$SECONDS
  rm -rf "$prefix"
  echo "setup: building the runtime's pieces for the Pentium (i586)"
  local work="$cache/i586-runtime-src"
  rm -rf "$work" && mkdir -p "$work/gcc" "$work/crt" "$work/cfg" "$work/obj" "$prefix/lib"
  fetch_source gcc-12 "$work/gcc" || return 1
  fetch_source mingw-w64 "$work/crt" || return 1
  # Only the parts compiled here are unpacked from the compiler's sources.
  tar -xzf "$work"/gcc/gcc-12_*.orig.tar.gz -C "$work/gcc" --wildcards '*/gcc-*-dfsg.tar.xz'
  tar -xJf "$work"/gcc/gcc-12-*/gcc-*-dfsg.tar.xz -C "$work/gcc" --wildcards \
    '*/libgcc/*' '*/libstdc++-v3/src/*' '*/libstdc++-v3/libsupc++/*' '*/libiberty/*' '*/include/*' \
    '*/gcc/defaults.h' '*/gcc/coretypes.h' '*/gcc/tsystem.h'
  tar -xjf "$work"/crt/mingw-w64_*.orig.tar.bz2 -C "$work/crt" --wildcards '*/mingw-w64-crt/*'
  local g m
  g=$(dirname "$(find "$work/gcc" -maxdepth 2 -mindepth 2 -type d -name libgcc | head -n 1)")
  m=$(find "$work/crt" -maxdepth 2 -mindepth 2 -type d -name 'mingw-w64-crt' | head -n 1)
  local arch="-march=i586 -mtune=generic"

  # libgcc's unwinder: the configuration its build generates, as far as
  # these files read it (the rest comes from the compiler's __LIBGCC_*
  # macros under -fbuilding-libgcc): release checking (its assertions call
  # abort), _Unwind_GetIPInfo, the win32 thread model, DWARF-2 unwinding.
  printf '#define USED_FOR_TARGET 1\n#define ENABLE_RUNTIME_CHECKING 1\n#define HAVE_GETIPINFO 1\n' >"$work/cfg/tconfig.h"
  printf '%s\n' '#define LIBGCC2_UNWIND_ATTRIBUTE __attribute__((target ("no-mmx,no-sse")))' \
    '#define DWARF2_DEBUGGING_INFO 1' '#define PREFERRED_DEBUGGING_TYPE DWARF2_DEBUG' '#include "defaults.h"' >"$work/cfg/tm.h"
  : >"$work/cfg/libgcc_tm.h"
  : >"$work/cfg/auto-target.h"
  cp "$g/libgcc/config/i386/gthr-win32.h" "$work/cfg/gthr-default.h"
  cp "$g/libgcc/unwind-generic.h" "$work/cfg/unwind.h"
  cp "$g/libgcc/config/i386/w32-unwind.h" "$work/cfg/md-unwind-support.h"
  local src out
  cp "$gcclib/libgcc_eh.a" "$gcclib/libstdc++.a" "$prefix/lib/"
  for src in $rt_gcc_members; do
    out="$work/obj/$(basename "${src%.*}").o"
    $cc $arch -O2 -fbuilding-libgcc -DIN_GCC -DIN_LIBGCC2 -fno-stack-protector -fexceptions -fnon-call-exceptions \
      -w -I"$work/cfg" -I"$g/libgcc" -I"$g/gcc" -I"$g/include" -c "$g/$src" -o "$out" || return 1
    ar r "$prefix/lib/libgcc_eh.a" "$out"
  done
  # libstdc++ (its own archive holds libsupc++ and the demangler too), with
  # the installed headers and the flags of its build for each folder.
  # random.cc without its RDRAND and RDSEED sources for std::random_device:
  # the compiler expands their built-ins with CMOV whatever -march says
  # (those paths run only where CPUID reports the instructions, but the file
  # must hold none). random_device then draws from rand_s or the other
  # sources it has; nothing of ours uses it (cow-string-inst.o brings it).
  local config
  config=$(echo '#include <bits/c++config.h>' | $cxx -E -x c++ - | sed -n 's/^# [0-9]* "\(.*bits\/c++config\.h\)".*/\1/p' | head -n 1)
  mkdir -p "$work/cfg-random/bits"
  grep -v -E '^#define _GLIBCXX_X86_RD(RAND|SEED) ' "$config" >"$work/cfg-random/bits/c++config.h"
  for src in $rt_stdcxx_members; do
    out="$work/obj/$(basename "${src%.*}").o"
    local extra=""
    [ "$src" = src/c++11/random.cc ] && extra="-I$work/cfg-random"
    case $src in
      libiberty/*) $cc $arch -O2 -ffunction-sections -fdata-sections -DIN_GLIBCPP_V3 -DHAVE_STDLIB_H -DHAVE_STRING_H \
                     -D__USE_MINGW_ANSI_STDIO=1 -w -I"$g/include" -c "$g/$src" -o "$out" || return 1 ;;
      *) local std=gnu++17
         case $src in src/c++98/*) std=gnu++98 ;; src/c++11/*) std=gnu++11 ;; esac
         $cxx $arch $extra -O2 -std=$std -ffunction-sections -fdata-sections -fno-implicit-templates -w \
           -I"$g/libstdc++-v3/libsupc++" -I"$g/libgcc" -I"$work/cfg" -c "$g/libstdc++-v3/$src" -o "$out" || return 1 ;;
    esac
    ar r "$prefix/lib/libstdc++.a" "$out"
  done
  # The MinGW-w64 C runtime: start-up object and archive members, named as
  # its build names them (lib32_<archive>_a-<file>.o).
  local item archive base flags
  for item in $rt_crt_members; do
    archive=${item%%:*} src=${item#*:} base=$(basename "${src%.c}")
    flags="-O2 -std=gnu99 -D_CRTBLD -D_WIN32_WINNT=0x0f00 -D__MSVCRT_VERSION__=0x700 -D__USE_MINGW_ANSI_STDIO=0 -m32 -w -I$m/include"
    case $archive in
      crt2.o) $cc $arch $flags -D_SYSCRT=1 -DCRTDLL=1 -c "$m/$src" -o "$prefix/lib/crt2.o" || return 1; continue ;;
      libmingw32.a) flags="$flags -D_SYSCRT=1 -DCRTDLL=1"; out="$work/obj/lib32_libmingw32_a-$base.o" ;;
      libmingwex.a) out="$work/obj/lib32_libmingwex_a-$base.o" ;;
      libmsvcrt.a) flags="$flags -D__LIBMSVCRT__"; out="$work/obj/lib32_libmsvcrt_common_a-$base.o" ;;
    esac
    [ -f "$prefix/lib/$archive" ] || cp "$sysroot/$archive" "$prefix/lib/"
    $cc $arch $flags -c "$m/$src" -o "$out" || return 1
    ar r "$prefix/lib/$archive" "$out"
  done
  printf '%s' "$want" >"$stamp"
  rm -rf "$work"
  echo "setup: runtime pieces built in $((SECONDS - started)) s"
}
build_i586_runtime "$root/cmake/mingw-i686.cmake" "$cache/i586-runtime"

echo "setup: dependencies ready"
