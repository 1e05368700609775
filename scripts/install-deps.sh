#!/bin/sh
# Installs the Debian packages a target needs that are missing (docs/testing.md): MinGW,
# CMake, pefile; --sign signing, --wine Wine and Xvfb, --bench NSIS too, --test all and the
# tests' tools. An index a mirror is still syncing is tried again, then done without.
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
native=1
"$(dirname "$0")/runs-32-bit-code.sh" || native=0
if [ "$wine" -eq 1 ]; then
  has Xvfb || want xvfb
  if [ "$native" -eq 1 ]; then
    if ! has wine || ! dpkg -s wine32:i386 >/dev/null 2>&1; then
      wine_missing=1
      want wine wine32:i386 wine64
    fi
  else
    # Wine for 32-bit programs could never start here: a 64-bit build runs instead.
    { has wine && [ -x /usr/lib/wine/wine64 ]; } || want wine wine64
    has x86_64-w64-mingw32-g++ || want g++-mingw-w64-x86-64
    has x86_64-w64-mingw32-windres || want binutils-mingw-w64-x86-64
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
  has patch || want patch
fi
if [ "$bench" -eq 1 ]; then
  has makensis || want nsis
fi

# What the package step ends with once the packages are there.
finish() {
  [ "$test" -eq 0 ] || [ "$native" -eq 1 ] || "$(dirname "$0")/emulated-wine.sh" prepare >/dev/null
  exit 0
}

[ -n "$need" ] || finish

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "Installing:$need"
export DEBIAN_FRONTEND=noninteractive
if [ "$wine_missing" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
answer=$(mktemp)
trap 'rm -f "$answer"' EXIT

# A mirror mid-sync serves an index of a size its Release file does not promise ("Mirror
# sync in progress?"): try again, then go on with the lists there are.
updated=0
for attempt in 1 2 3; do
  $SUDO apt-get update -qq -o Acquire::Retries=2 >"$answer" 2>&1 && { updated=1; break; }
  [ "$attempt" -eq 3 ] || sleep 5
done
if [ "$updated" -eq 0 ]; then
  cause=$(grep -E '^(E|W|Err):' "$answer" | grep -v 'Some index files failed' | head -n 1)
  echo "warning: apt-get update failed 3 times (${cause:-$(tail -n 1 "$answer")}); going on with the package lists there are" >&2
fi

# The suites whose index did not come in, as "URI SUITE" lines, from apt's failures.
failed_suites() {
  grep -oE 'Failed to fetch [^ ]+/dists/[^/ ]+/' "$answer" |
    sed -E 's|^Failed to fetch ([^ ]+)/dists/([^/ ]+)/$|\1 \2|' | sort -u
}

# The machine's sources without the given suites, for Dir::Etc::SourceParts: both
# architectures' packages then come from suites seen whole, so that their versions agree.
sources_without() {
  folder=$1
  skipped=$2
  list=${APT_SOURCE_LIST:-/etc/apt/sources.list}
  source_parts=${APT_SOURCE_PARTS:-/etc/apt/sources.list.d}
  if [ -f "$list" ]; then
    echo "$skipped" | awk 'NR == FNR { if (NF == 2) skip[$1 " " $2] = 1; next }
      $1 ~ /^deb/ { uri = $2; suite = $3; if ($2 ~ /^\[/) { for (i = 2; i <= NF; i++)
        if ($i ~ /\]$/) break; uri = $(i + 1); suite = $(i + 2) }
        sub(/\/$/, "", uri); if ((uri " " suite) in skip) next }
      { print }' - "$list" >"$folder/from-sources-list.list"
  fi
  for file in "$source_parts"/*.sources; do
    [ -f "$file" ] || continue
    echo "$skipped" | awk 'NR == FNR { if (NF == 2) skip[$1 " " $2] = 1; next }
      function flush() { if (n > 0 && suites != "") for (i = 1; i <= n; i++)
        print (lines[i] ~ /^Suites:/ ? "Suites:" suites : lines[i]); if (n > 0) print "";
        n = 0; suites = ""; uris = "" }
      /^[ \t]*$/ { flush(); next }
      { lines[++n] = $0 }
      /^URIs:/ { uris = $0; sub(/^URIs:[ \t]*/, "", uris); sub(/\/$/, "", uris) }
      /^Suites:/ { raw = $0 }
      END { flush() }
      /^Suites:/ { suites = ""; m = split(raw, words, /[ \t]+/)
        for (j = 2; j <= m; j++) if (words[j] != "" && !((uris " " words[j]) in skip))
          suites = suites " " words[j] }' - "$file" >"$folder/$(basename "$file")"
  done
  for file in "$source_parts"/*.list; do
    [ -f "$file" ] || continue
    grep -v "^deb" "$file" >"$folder/$(basename "$file")" || true
  done
}

# shellcheck disable=SC2086
install() { $SUDO apt-get install -y -qq --no-install-recommends "$@" $need </dev/null >"$answer" 2>&1; }
skipped=""
[ "$updated" -eq 1 ] || skipped=$(failed_suites || true)
if [ -n "$skipped" ] && ! install; then
  # A suite missing one architecture's index offers newer 64-bit packages alone.
  whole=$(mktemp -d)
  trap 'rm -f "$answer"; rm -rf "$whole"' EXIT
  sources_without "$whole" "$skipped"
  echo "warning: installing without $(echo "$skipped" | awk '{ print $2 }' | paste -sd, -), whose index is incomplete" >&2
  install -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$whole" || failed=1
elif [ -z "$skipped" ] && ! install; then
  failed=1
fi
if [ "${failed:-0}" -eq 1 ]; then
  missing=""
  for package in $need; do
    dpkg -s "$package" >/dev/null 2>&1 || missing="$missing $package"
  done
  echo "error: apt-get could not install:${missing:-$need}" >&2
  echo "apt-get said: $(grep -v '^ ' "$answer" | tail -n 1)" >&2
  echo "A Debian mirror may be in the middle of a sync; trying again later may help." >&2
  exit 1
fi
finish
