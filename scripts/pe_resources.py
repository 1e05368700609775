"""An installer's named RCDATA resources, version record and certificate table (pefile);
and damage for the tests, which keeps every offset and the names' order valid."""

import collections
import os
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "resources"))
import resource_set  # noqa: E402

RT_RCDATA = pefile.RESOURCE_TYPE["RT_RCDATA"]
RESOURCE_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]
SECURITY_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]


class NotAnInstaller(ValueError):
    pass


# The file offsets of the name's UTF-16 text, of the data entry and of the bytes.
Resource = collections.namedtuple("Resource", "name name_offset entry_offset data_offset size")


def parse(data, full=False):
    try:
        pe = pefile.PE(data=bytes(data), fast_load=True)
    except pefile.PEFormatError:
        raise NotAnInstaller("not a Windows executable")
    pe.parse_data_directories(directories=None if full else [RESOURCE_DIRECTORY])
    return pe


class PeImage:
    def __init__(self, data):
        self.data = bytearray(data)
        parse(self.data)

    @property
    def certificates(self):
        """The certificate table's file offset and size (0, 0 when unsigned)."""
        entry = parse(self.data).OPTIONAL_HEADER.DATA_DIRECTORY[SECURITY_DIRECTORY]
        return entry.VirtualAddress, entry.Size

    def rcdata(self):
        """The named RCDATA resources, in directory order, as the bytes are now."""
        pe = parse(self.data)
        found = []
        directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for kind in directory.entries if directory else []:
            if kind.id != RT_RCDATA:
                continue
            for named in kind.directory.entries:
                if named.name is None:
                    continue
                leaf = named.directory.entries[0].data.struct
                found.append(Resource(str(named.name),
                                      pe.get_offset_from_rva(named.name.rva_ptr) + 2,
                                      leaf.get_file_offset(),
                                      pe.get_offset_from_rva(leaf.OffsetToData), leaf.Size))
        return found

    def version_strings(self):
        """The version record's string table as a dict (key: value)."""
        return {key.decode("utf-8"): value.decode("utf-8")
                for group in getattr(parse(self.data, full=True), "FileInfo", None) or []
                for info in group for table in getattr(info, "StringTable", [])
                for key, value in table.entries.items()}

    def signature(self):
        """The Authenticode certificate table's bytes, or None when unsigned."""
        offset, size = self.certificates
        return bytes(self.data[offset:offset + size]) if offset and size else None

    def resource(self, name):
        return next(r for r in self.rcdata() if r.name == name)

    def read(self, name):
        r = self.resource(name)
        return bytes(self.data[r.data_offset:r.data_offset + r.size])

    # --- damage, for the tests ------------------------------------------------------

    def set_size(self, name, size):
        """Shortens a resource: its bytes beyond the new size are no longer part of it."""
        r = self.resource(name)
        assert size <= r.size
        self.data[r.entry_offset + 4:r.entry_offset + 8] = size.to_bytes(4, "little")

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
        """Rewrites SUMS to match the resources as they are now, so that a malformed one
        meets the code that refuses it, not the damage check."""
        sums = self.resource(resource_set.CHECKSUMS)
        count = resource_set.entries_of(sums.size)
        present = {r.name: self.read(r.name) for r in self.rcdata()}
        table = resource_set.sums_for(present, count)
        assert len(table) == sums.size
        self.data[sums.data_offset:sums.data_offset + sums.size] = table
