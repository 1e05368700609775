#!/bin/sh
# Installs the Debian packages a target needs, and only those that are missing. Safe to
# run again: it does nothing when everything is present.
#   install-deps.sh          building: the MinGW cross-compiler and windres, CMake, and
#                            Debian's Python with pefile
#   install-deps.sh --sign   that, and Authenticode signing (osslsigncode, openssl)
#   install-deps.sh --wine   that, and Wine for 32-bit programs with Xvfb (the demo, the
#                            screenshots)
#   install-deps.sh --test   all of the above, and what the tests use: strace, GoogleTest,
#                            clang with its fuzzer runtime, clang-format, pytest with
#                            pytest-xdist, ccache
#   install-deps.sh --bench  Wine, and the peer installer system (nsis)
# On a machine whose kernel runs no 32-bit code, Wine brings the 64-bit MinGW
# cross-compiler too: the tests and the demo then run a 64-bit build of the sources.
set -eu

need=""
want() { need="$need $*"; }
has() { command -v "$1" >/dev/null 2>&1; }

has i686-w64-mingw32-g++ || want g++-mingw-w64-i686
has i686-w64-mingw32-windres || want binutils-mingw-w64-i686
has cmake || want cmake
[ -x /usr/bin/python3 ] || want python3
/usr/bin/python3 -c "import pefile" >/dev/null 2>&1 || want python3-pefile

sign=0 wine=0 test=0 bench=0
for extra in "$@"; do
  case "$extra" in
    --sign) sign=1 ;;
    --wine) wine=1 ;;
    --test) test=1 sign=1 wine=1 ;;
    --bench) bench=1 wine=1 ;;
    *) echo "install-deps.sh: unknown option $extra" >&2; exit 2 ;;
  esac
done
if [ "$sign" -eq 1 ]; then
  has osslsigncode || want osslsigncode
  has openssl || want openssl
fi
wine_missing=0
if [ "$wine" -eq 1 ]; then
  has Xvfb || want xvfb
  if ! has wine || ! dpkg -s wine32:i386 >/dev/null 2>&1; then
    wine_missing=1
    want wine wine32:i386 wine64
  fi
fi
if [ "$test" -eq 1 ]; then
  has strace || want strace
  has clang++ || want clang
  has clang-format || want clang-format
  ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    want libclang-rt-dev
  dpkg -s libgtest-dev >/dev/null 2>&1 || want libgtest-dev
  /usr/bin/python3 -c "import pytest, xdist" >/dev/null 2>&1 ||
    want python3-pytest python3-pytest-xdist
  has ccache || want ccache
fi
if [ "$bench" -eq 1 ]; then
  has makensis || want nsis
fi

# A kernel that runs no 32-bit code (Linux's ia32_emulation=off) cannot start Wine's
# 32-bit loader: the tests and the demo then run a 64-bit build of the same sources.
needs_64_bit_build() {
  [ "$wine" -eq 1 ] && [ -x /usr/lib/wine/wine ] &&
    ! /usr/lib/wine/wine --version >/dev/null 2>&1 && ! has x86_64-w64-mingw32-g++
}
needs_64_bit_build && want g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
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
if needs_64_bit_build; then
  $SUDO apt-get install -y -qq --no-install-recommends g++-mingw-w64-x86-64 \
    binutils-mingw-w64-x86-64 </dev/null
fi
