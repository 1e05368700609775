#!/bin/sh
# Installs the Debian packages the build and the tests need, and only those that are
# missing: the MinGW cross-compiler, Wine for 32-bit programs, Xvfb and strace (and, where a
# machine lacks them, CMake, Python, GoogleTest and clang with its fuzzer runtime).
# Safe to run again: it does nothing when everything is present.
#   install-deps.sh          what the build and the tests need
#   install-deps.sh --bench  that, and the peer installer system for the benchmark (nsis)
#   install-deps.sh --sign   that, and Authenticode signing (osslsigncode, openssl)
#   install-deps.sh --test   that, and the compiler cache the test stages share (ccache)
set -eu

need=""
command -v i686-w64-mingw32-g++ >/dev/null 2>&1 || need="$need g++-mingw-w64-i686"
command -v i686-w64-mingw32-windres >/dev/null 2>&1 || need="$need binutils-mingw-w64-i686"
command -v Xvfb >/dev/null 2>&1 || need="$need xvfb"
command -v strace >/dev/null 2>&1 || need="$need strace"
wine_missing=0
if ! command -v wine >/dev/null 2>&1 || ! dpkg -s wine32:i386 >/dev/null 2>&1; then
  wine_missing=1
  need="$need wine wine32:i386 wine64"
fi
command -v cmake >/dev/null 2>&1 || need="$need cmake"
command -v python3 >/dev/null 2>&1 || need="$need python3"
command -v clang++ >/dev/null 2>&1 || need="$need clang"
command -v clang-format >/dev/null 2>&1 || need="$need clang-format"
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
  need="$need libclang-rt-dev"
dpkg -s libgtest-dev >/dev/null 2>&1 || need="$need libgtest-dev"
# Debian's Python runs the scripts and the tests, with these of its packages.
/usr/bin/python3 -c "import pefile" >/dev/null 2>&1 || need="$need python3-pefile"
/usr/bin/python3 -c "import pytest, xdist" >/dev/null 2>&1 ||
  need="$need python3-pytest python3-pytest-xdist"
# A kernel that runs no 32-bit code (Linux's ia32_emulation=off) cannot start Wine's
# 32-bit loader: the end-to-end tests then run a 64-bit build of the same sources.
needs_64_bit_bench() {
  [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 &&
    ! command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1
}
needs_64_bit_bench && need="$need g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64"
for extra in "$@"; do
  case "$extra" in
    --bench) command -v makensis >/dev/null 2>&1 || need="$need nsis" ;;
    --test) command -v ccache >/dev/null 2>&1 || need="$need ccache" ;;
    --sign)
      command -v osslsigncode >/dev/null 2>&1 || need="$need osslsigncode"
      command -v openssl >/dev/null 2>&1 || need="$need openssl"
      ;;
    *) echo "install-deps.sh: unknown option $extra" >&2; exit 2 ;;
  esac
done
[ -n "$need" ] || exit 0

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "Installing:$need"
export DEBIAN_FRONTEND=noninteractive
if [ "$wine_missing" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $need </dev/null
# Wine has just come: only now can it tell whether this kernel runs its 32-bit loader.
if needs_64_bit_bench; then
  $SUDO apt-get install -y -qq --no-install-recommends g++-mingw-w64-x86-64 \
    binutils-mingw-w64-x86-64 </dev/null
fi
