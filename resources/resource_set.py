"""The layout of the installer's resource set, as the build writes it and the
installer reads it: the one Python definition, for the build, the inspector and the
tests (src/payload/resource_layout.h is the installer's).

All are RCDATA resources with language 2067: FILES (the count, then 0), then for each
entry NAMEnnn (the name in Windows-1252 and a zero byte), TIMEnnn (the packed local DOS
date and time, four bytes little-endian) and DATAnnn (the file's bytes), nnn being the
1-based index written with three digits; SUMS, the checksums below; and INFO, the
language and the web site for the inspector (the installer never reads it).

SUMS holds, for each resource in the order the installer looks them up (FILES, then
NAME, TIME and DATA of each entry), its size and its CRC-32 (zlib's), both 32-bit
little-endian; then the CRC-32 of all those records, four bytes.
"""

import datetime
import struct
import zlib

COUNT = "FILES"
ENTRY_KINDS = ("NAME", "TIME", "DATA")
NAME, TIME, DATA = ENTRY_KINDS
MOST_ENTRIES = 255
CHECKSUMS = "SUMS"
INFO = "INFO"
RECORD = struct.Struct("<II")
STAMP = struct.Struct("<I")


class SumsError(ValueError):
    """A SUMS resource that is malformed (no whole records) or damaged (its own
    checksum differs)."""


def entry_name(kind, index):
    """The name of one entry's resource: NAME001."""
    return f"{kind}{index:03d}"


def lookup_order(count):
    """The names of the resources that SUMS covers, in the installer's lookup order."""
    return [COUNT] + [entry_name(kind, index) for index in range(1, count + 1)
                      for kind in ENTRY_KINDS]


def pack_stamp(when):
    """The packed DOS date (high 16 bits) and time (low 16 bits) of a local time in
    1980-2107 with even seconds."""
    date = (when.year - 1980) << 9 | when.month << 5 | when.day
    time = when.hour << 11 | when.minute << 5 | when.second // 2
    return date << 16 | time


def unpack_stamp(stamp):
    """The local time a packed DOS date and time stands for; None when it is no date."""
    date, time = stamp >> 16, stamp & 0xFFFF
    try:
        return datetime.datetime(1980 + (date >> 9), (date >> 5) & 15, date & 31,
                                 time >> 11, (time >> 5) & 63, (time & 31) * 2)
    except ValueError:
        return None


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


def entries_of(count_sums):
    """The number of entries that a SUMS of that many bytes covers."""
    return ((count_sums - 4) // RECORD.size - 1) // len(ENTRY_KINDS)


def sums_for(resources, count):
    """SUMS for a resource set as it is ({name: bytes}); an absent resource gets
    size 0 and checksum 0."""
    return pack_sums([checksum(resources[name]) if name in resources else (0, 0)
                      for name in lookup_order(count)])
