#!/bin/sh
# Exits 1 when this machine's kernel refuses 32-bit x86 programs (Linux started with
# ia32_emulation=off, as some virtual machines are: Wine's 32-bit loader then fails with
# "Exec format error"), and 0 when it runs them or when that cannot be told (a temporary
# folder mounted noexec, say). It asks the kernel itself, with the smallest 32-bit
# program there is (it only calls exit(0)), so that the answer needs nothing installed.
set -u
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
exit 0
