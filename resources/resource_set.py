"""The layout of the installer's resource set, as the build writes it and the
installer reads it: one definition for the build, the inspector and the tests.

All are RCDATA resources with language 2067: FILES (the count, then 0), then for each
entry NAMEnnn (the name in Windows-1252 and a zero byte), TIMEnnn (the packed local DOS
date and time, four bytes little-endian) and DATAnnn (the file's bytes), nnn being the
1-based index written with three digits; SUMS, the checksums below; and INFO, the
language and the web site for the inspector (the installer never reads it).

SUMS holds, for each resource in the order the installer looks them up (FILES, then
NAME, TIME and DATA of each entry), its size and its CRC-32 (zlib's), both 32-bit
little-endian; then the CRC-32 of all those records, four bytes.
"""

import struct
import zlib

ENTRY_KINDS = ("NAME", "TIME", "DATA")
RECORD = struct.Struct("<II")


class SumsError(ValueError):
    """A SUMS resource that is malformed (no whole records) or damaged (its own
    checksum differs)."""


def lookup_order(count):
    """The names of the resources that SUMS covers, in the installer's lookup order."""
    return ["FILES"] + [f"{kind}{index:03d}" for index in range(1, count + 1)
                        for kind in ENTRY_KINDS]


def checksum(data):
    """The record of one resource's bytes: (size, CRC-32)."""
    return len(data), zlib.crc32(data)


def pack_sums(records):
    """The SUMS bytes for the (size, CRC-32) records, in lookup order."""
    table = b"".join(RECORD.pack(size, crc) for size, crc in records)
    return table + struct.pack("<I", zlib.crc32(table))


def read_sums(sums):
    """The (size, CRC-32) records of SUMS, after checking its own checksum."""
    if len(sums) < 4 + RECORD.size or (len(sums) - 4) % RECORD.size:
        raise SumsError("malformed")
    table = sums[:-4]
    if zlib.crc32(table) != struct.unpack_from("<I", sums, len(table))[0]:
        raise SumsError("damaged")
    return [RECORD.unpack_from(table, offset) for offset in range(0, len(table), RECORD.size)]


def sums_for(resources, count):
    """SUMS for a resource set as it is ({name: bytes}); an absent resource gets
    size 0 and checksum 0."""
    return pack_sums([checksum(resources[name]) if name in resources else (0, 0)
                      for name in lookup_order(count)])
