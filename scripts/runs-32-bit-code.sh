#!/bin/sh
# Exits 0 when this machine runs 32-bit x86 programs natively (or cannot tell), 1 when the
# kernel refuses them (ia32_emulation=off) or an emulator takes them, by running the
# smallest 32-bit program there is. REHEARSE_NO_32_BIT=1 answers 1.
set -u
[ "${REHEARSE_NO_32_BIT:-}" != 1 ] || exit 1
probe=$(mktemp "${TMPDIR:-/tmp}/i386-probe.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT
# An ELF header, one program header, and: mov eax, 1; xor ebx, ebx; int 0x80.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >>"$probe"
printf '\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000' >>"$probe"
printf '\000\020\000\000\270\001\000\000\000\061\333\315\200' >>"$probe"
chmod 700 "$probe"
refused=$("$probe" 2>&1 >/dev/null) || case "$refused" in
  *"format error"*) exit 1 ;;
esac
# An enabled handler whose magic is a 32-bit little-endian x86 ELF header (7f 45 4c 46 01
# 01 01, machine 03 00) runs such programs in an emulator.
for entry in /proc/sys/fs/binfmt_misc/*; do
  [ -f "$entry" ] || continue
  grep -qx enabled "$entry" 2>/dev/null || continue
  grep -Eq '^magic 7f454c460101[0-9a-f]{20}0[23]000300' "$entry" 2>/dev/null && exit 1
done
exit 0
