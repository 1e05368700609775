#!/bin/sh
# Wine's 32-bit side under qemu-i386, where the kernel runs no 32-bit code (docs/testing.md).
#   emulated-wine.sh cache         makes (or checks) the user's cache and prints its path
#   emulated-wine.sh prepare       makes (or reuses) the emulated Wine's folder there
#   emulated-wine.sh run CMD ...   runs CMD with it, EMULATED_WINE set to the folder; where
#                                  that cannot be, says so in one line and exits 77
set -eu

MIRROR=${DEBIAN_MIRROR:-http://deb.debian.org}
KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg
[ -n "${XDG_CACHE_HOME:-}" ] || [ -n "${HOME:-}" ] ||
  { echo "error: emulated-wine.sh: neither XDG_CACHE_HOME nor HOME is set; set one" >&2; exit 1; }
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/torvix-dictionary-installer
# binfmt_misc's rule for 32-bit little-endian x86 ELF programs, executable or shared.
MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# What the marker lists of each package (dpkg-deb's fields, not the shell's).
# shellcheck disable=SC2016
FIELDS='${Package} ${Version} ${Architecture}\n'

die() {
  echo "error: emulated-wine.sh: $*" >&2
  exit 1
}

wine_version() {
  dpkg-query -W -f='${Version}' wine64 2>/dev/null ||
    die "64-bit Wine (wine64) is not installed; run scripts/install-deps.sh --test"
}

# The folder for the installed Wine; its name carries the version, with ':' and '~'
# made safe for a path.
folder() { echo "$CACHE/emulated-wine-$(wine_version | tr ':~' '__')"; }
case $CACHE in
  *[,:]*) echo "error: emulated-wine.sh: the cache $CACHE names a ',' or ':', which the" \
    "namespace's mount cannot take; set XDG_CACHE_HOME to another folder" >&2; exit 1 ;;
esac

# The cache must be ours and writable by nobody else, every folder up to it too (or
# owned by root and not writable by others), or what the tests run could be swapped.
check_owned() {
  path=$1
  while [ "$path" != / ] && [ -n "$path" ]; do
    if [ -e "$path" ]; then
      owner=$(stat -c %u "$path")
      mode=$(stat -c %a "$path")
      [ "$owner" = "$(id -u)" ] || [ "$owner" = 0 ] ||
        die "$path belongs to user $owner; remove it or set XDG_CACHE_HOME to a folder of yours"
      [ $((0$mode & 022)) -eq 0 ] || { [ "$path" != "$1" ] && [ -k "$path" ]; } ||
        die "$path is writable by others (mode $mode); run chmod go-w on it"
    fi
    path=$(dirname "$path")
  done
}

# apt with a private state: its own lists, cache and empty status, one sources file, so
# that nothing of the machine's package state is read or changed.
private_apt() {
  state=$1
  shift
  apt-get -q -o Dir::State="$state/state" -o Dir::State::status="$state/status" \
    -o Dir::Cache="$state/cache" -o Dir::Etc::SourceList="$state/sources.list" \
    -o Dir::Etc::SourceParts=/nonexistent -o Dir::Etc::Preferences=/dev/null \
    -o Dir::Etc::PreferencesParts=/nonexistent -o Debug::NoLocking=1 \
    -o APT::Sandbox::User="$(id -un)" -o Acquire::AllowInsecureRepositories=false "$@"
}

new_state() {
  state=$1
  mkdir -p "$state/state/lists/partial" "$state/cache/archives/partial"
  : >"$state/status"
  shift
  for suite in "$@"; do
    echo "deb [signed-by=$KEYRING] $MIRROR/$suite main"
  done >"$state/sources.list"
}

# Turns a MinGW zlib into the Wine builtin DLL that libwine's own script would make.
builtin_zlib() {
  { head -c 64 "$1"; printf 'Wine builtin DLL'; printf '\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
    tail -c +97 "$1"; } >"$2"
}

build() {
  target=$1
  version=$(wine_version)
  work=$(mktemp -d "$CACHE/.building.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  [ -r "$KEYRING" ] || die "Debian's keyring $KEYRING is missing; install debian-archive-keyring"
  echo "Preparing 32-bit Wine $version under an emulator in $target (once: about 210 MB to fetch, 750 MB unpacked)" >&2

  # Debian 12's 32-bit Wine, pinned to the installed 64-bit one, with its whole closure.
  new_state "$work/apt12" "debian bookworm" "debian bookworm-updates" "debian-security bookworm-security"
  # An index the mirror is still syncing fails alone; the others still resolve the closure.
  private_apt "$work/apt12" -o APT::Architecture=i386 -o APT::Architectures::=i386 \
    update >"$work/update.log" 2>&1 || true
  private_apt "$work/apt12" -o APT::Architecture=i386 -o APT::Architectures::=i386 \
    install -y --download-only --no-install-recommends "wine32=$version" "libwine=$version" \
    >"$work/download.log" 2>&1 ||
    die "apt could not fetch 32-bit Wine $version: $(grep -E '^E:' "$work/download.log" | head -n 1)"

  # Debian 13's qemu-user: static, so it needs nothing else (Debian 12's costs a minute of
  # processor time for every Wine process).
  new_state "$work/apt13" "debian trixie"
  private_apt "$work/apt13" update >"$work/update13.log" 2>&1 ||
    die "apt could not read Debian 13's index: $(grep -E '^(E|Err):' "$work/update13.log" | head -n 1)"
  (cd "$work/apt13/cache/archives" && private_apt "$work/apt13" download qemu-user) \
    >"$work/download13.log" 2>&1 ||
    die "apt could not fetch qemu-user: $(grep -E '^E:' "$work/download13.log" | head -n 1)"

  mkdir "$work/folder" "$work/folder/root"
  for package in "$work"/apt12/cache/archives/*.deb; do
    dpkg-deb -x "$package" "$work/folder/root"
    dpkg-deb --show --showformat="$FIELDS" "$package"
  done >"$work/folder/versions"
  qemu=$(ls "$work"/apt13/cache/archives/qemu-user_*.deb)
  dpkg-deb --fsys-tarfile "$qemu" | tar -x -O ./usr/bin/qemu-i386 >"$work/folder/qemu-i386"
  chmod 755 "$work/folder/qemu-i386"
  dpkg-deb --show --showformat="$FIELDS" "$qemu" >>"$work/folder/versions"

  root=$work/folder/root
  # The packages' own scripts do not run: do what they would. The machine's /lib is
  # /usr/lib, so the libraries move there; libwine's zlib becomes a builtin DLL.
  if [ -d "$root/lib" ] && [ ! -L "$root/lib" ]; then
    cp -a "$root/lib/." "$root/usr/lib/"
    rm -rf "${root:?}/lib"
  fi
  builtin_zlib "$root/usr/i686-w64-mingw32/lib/zlib1.dll" \
    "$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
  builtin_zlib "$root/usr/x86_64-w64-mingw32/lib/zlib1.dll" \
    "$root/usr/lib/i386-linux-gnu/wine/x86_64-windows/zlib1.dll"
  # The folder's i386 libraries hide the machine's own, if it has any, so that a run
  # here is the run of a machine without them.
  /usr/bin/python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.overlay.opaque", b"y")' \
    "$root/usr/lib/i386-linux-gnu"
  echo "wine64 $version" >>"$work/folder/versions"
  chmod -R go-w "$work/folder"

  mv "$work/folder" "$target.new"
  rm -rf "${target:?}"
  mv "$target.new" "$target"
  for old in "$CACHE"/emulated-wine-*; do
    [ "$old" = "$target" ] || rm -rf "${old:?}"
  done
}

cache() {
  mkdir -p "$CACHE"
  chmod 700 "$CACHE"
  check_owned "$CACHE"
}

prepare() {
  cache
  target=$(folder)
  exec 9>"$CACHE/.lock"
  flock 9
  grep -qx "wine64 $(wine_version)" "$target/versions" 2>/dev/null || build "$target"
  echo "$target"
}

run() {
  target=$(folder)
  grep -qx "wine64 $(wine_version)" "$target/versions" 2>/dev/null ||
    die "no emulated Wine for the installed Wine in $CACHE; run scripts/emulated-wine.sh prepare"
  check_owned "$target"
  if ! unshare --user --map-root-user --mount true 2>/dev/null; then
    echo "This machine refuses user namespaces: the shipped 32-bit image is not run (skipped)." >&2
    exit 77
  fi
  # shellcheck disable=SC2016
  exec unshare --user --map-root-user --mount sh -euc '
    folder=$1 magic=$2 mask=$3
    shift 3
    export EMULATED_WINE="$folder"
    skip() { echo "This kernel $1: the shipped 32-bit image is not run (skipped)." >&2; exit 77; }
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
      skip "gives a namespace no binfmt_misc of its own (Linux 6.7 and later do)"
    printf "%s" ":torvix-i386:M::$magic:$mask:$folder/qemu-i386:F" \
      >/proc/sys/fs/binfmt_misc/register
    mount -t overlay overlay -o "ro,userxattr,lowerdir=$folder/root/usr/lib:/usr/lib" /usr/lib \
      2>/dev/null || skip "lays no overlay in a user namespace (Linux 5.11 and later do)"
    exec "$@"' sh "$target" "$MAGIC" "$MASK" "$@"
}

case "${1:-}" in
  cache) cache; echo "$CACHE" ;;
  prepare) prepare ;;
  run) shift; [ $# -gt 0 ] || die "run needs a command"; run "$@" ;;
  *) echo "usage: emulated-wine.sh cache | prepare | run COMMAND [ARGUMENTS...]" >&2; exit 2 ;;
esac
