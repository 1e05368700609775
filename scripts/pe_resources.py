"""Reads a built PE executable's named RCDATA resources, its version record and its
certificate table, for the inspector; and damages resources in place, for tests that
need a setup.exe with a broken resource set. Edits keep every offset and the order of
the names, so the rest of the image stays valid."""

import struct
import zlib

RT_RCDATA = 10
RT_VERSION = 16


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
        if len(self.data) < 0x40 or self.data[:2] != b"MZ":
            raise ValueError("not a Windows executable")
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a Windows executable")
        sections = struct.unpack_from("<H", self.data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", self.data, pe + 20)[0]
        optional = pe + 24
        # Data directory 2 is the resource directory, 4 the certificate table (a file
        # offset, not an address) in the 32-bit optional header.
        self.rsrc_rva = struct.unpack_from("<I", self.data, optional + 96 + 2 * 8)[0]
        self.certificates = struct.unpack_from("<II", self.data, optional + 96 + 4 * 8)
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

    def version_strings(self):
        """The version record's string table as a dict (key: value)."""
        root = self.offset(self.rsrc_rva)
        for type_id, type_target in self._entries(root):
            if type_id != RT_VERSION:
                continue
            names = root + (type_target & 0x7FFFFFFF)
            _, name_target = next(self._entries(names))
            languages = root + (name_target & 0x7FFFFFFF)
            _, entry_ref = next(self._entries(languages))
            rva, size = struct.unpack_from("<II", self.data, root + entry_ref)
            start = self.offset(rva)
            return parse_version_strings(bytes(self.data[start:start + size]))
        return {}

    def signature(self):
        """The Authenticode certificate table's bytes, or None when unsigned."""
        offset, size = self.certificates
        if not offset or not size:
            return None
        return bytes(self.data[offset:offset + size])

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


def parse_version_strings(block):
    """The strings of a VS_VERSIONINFO block: every String entry under StringFileInfo."""
    found = {}

    def walk(offset, end):
        while offset + 6 <= end:
            length, value_length, kind = struct.unpack_from("<HHH", block, offset)
            if length == 0:
                return
            key_end = offset + 6
            while block[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = block[offset + 6:key_end].decode("utf-16-le")
            value_start = (key_end + 2 + 3) & ~3
            stop = offset + length
            if kind == 1 and key not in ("StringFileInfo", "VarFileInfo") and \
                    not (len(key) == 8 and all(c in "0123456789ABCDEFabcdef" for c in key)):
                text = block[value_start:value_start + 2 * value_length].decode("utf-16-le")
                found[key] = text.rstrip("\0")
            elif key in ("VS_VERSION_INFO",):
                walk((value_start + value_length + 3) & ~3, stop)
            elif key == "StringFileInfo" or (len(key) == 8 and kind == 1):
                walk(value_start, stop)
            offset = (stop + 3) & ~3

    walk(0, len(block))
    return found
