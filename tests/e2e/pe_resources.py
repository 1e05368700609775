"""Reads and damages, in place, the named RCDATA resources of a built PE executable,
for tests that need a setup.exe with a broken resource set. Edits keep every offset
and the order of the names, so the rest of the image stays valid."""

import struct
import zlib

RT_RCDATA = 10


class Resource:
    def __init__(self, name, name_offset, entry_offset, data_offset, size):
        self.name = name
        self.name_offset = name_offset    # file offset of the name's UTF-16 text
        self.entry_offset = entry_offset  # file offset of the data entry
        self.data_offset = data_offset    # file offset of the bytes
        self.size = size


class PeImage:
    def __init__(self, data):
        self.data = bytearray(data)
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        assert self.data[pe:pe + 4] == b"PE\0\0"
        sections = struct.unpack_from("<H", self.data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", self.data, pe + 20)[0]
        optional = pe + 24
        # Data directory 2 is the resource directory (32-bit optional header).
        self.rsrc_rva = struct.unpack_from("<I", self.data, optional + 96 + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            va_size, va, raw_size, raw = struct.unpack_from("<IIII", self.data, table + i * 40 + 8)
            self.sections.append((va, max(va_size, raw_size), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"RVA {rva:#x} is in no section")

    def _entries(self, directory):
        named, ids = struct.unpack_from("<HH", self.data, directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, directory + 16 + i * 8)
            yield name, target

    def rcdata(self):
        """The named RCDATA resources, in directory order."""
        root = self.offset(self.rsrc_rva)
        found = []
        for type_id, type_target in self._entries(root):
            if type_id != RT_RCDATA:
                continue
            names = root + (type_target & 0x7FFFFFFF)
            for name_ref, name_target in self._entries(names):
                assert name_ref & 0x80000000, "RCDATA by name only"
                text = root + (name_ref & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, text)[0]
                name = self.data[text + 2:text + 2 + 2 * length].decode("utf-16-le")
                languages = root + (name_target & 0x7FFFFFFF)
                _, entry_ref = next(self._entries(languages))
                entry = root + entry_ref
                rva, size = struct.unpack_from("<II", self.data, entry)
                found.append(Resource(name, text + 2, entry, self.offset(rva), size))
        return found

    def resource(self, name):
        return next(r for r in self.rcdata() if r.name == name)

    def read(self, name):
        r = self.resource(name)
        return bytes(self.data[r.data_offset:r.data_offset + r.size])

    def set_size(self, name, size):
        """Shortens a resource: its bytes beyond the new size are no longer part of it."""
        r = self.resource(name)
        assert size <= r.size
        struct.pack_into("<I", self.data, r.entry_offset + 4, size)

    def replace(self, name, data):
        """New bytes for a resource, at most as many as it has."""
        r = self.resource(name)
        assert len(data) <= r.size
        self.data[r.data_offset:r.data_offset + len(data)] = data
        self.set_size(name, len(data))

    def rename(self, name, new_name):
        """Renames a resource to a name of the same length that keeps the names sorted."""
        r = self.resource(name)
        assert len(new_name) == len(name)
        self.data[r.name_offset:r.name_offset + 2 * len(name)] = new_name.encode("utf-16-le")

    def flip(self, name, offset, bit=1):
        """Flips one bit of a resource's bytes, as a damaged download would."""
        r = self.resource(name)
        assert 0 <= offset < r.size
        self.data[r.data_offset + offset] ^= 1 << bit

    def reseal(self):
        """Rewrites SUMS to match the resources as they are now, so that a test of
        malformed resources meets the code that refuses them rather than the damage
        check. An absent resource gets size 0 and checksum 0."""
        sums = self.resource("SUMS")
        entries = ((sums.size - 4) // 8 - 1) // 3
        names = ["FILES"] + [f"{kind}{i:03d}" for i in range(1, entries + 1)
                             for kind in ("NAME", "TIME", "DATA")]
        present = {r.name for r in self.rcdata()}
        table = b""
        for name in names:
            data = self.read(name) if name in present else b""
            table += struct.pack("<II", len(data), zlib.crc32(data))
        table += struct.pack("<I", zlib.crc32(table))
        assert len(table) == sums.size
        self.data[sums.data_offset:sums.data_offset + sums.size] = table
