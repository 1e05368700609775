"""Builds in different folders give the same setup.exe, byte for byte, hardened as BinSkim
asks and at most 48 KiB beyond the payload (docs/reliability.md)."""

import os
import pathlib
import re
import subprocess
import tempfile
import unittest

import pefile

DLL = pefile.DLL_CHARACTERISTICS
SECTION = pefile.SECTION_CHARACTERISTICS
# An instruction whose destination is fs:[0], the head of the thread's SEH chain, as
# objdump writes it in Intel syntax: "mov DWORD PTR fs:0x0,esp", "pop DWORD PTR fs:0x0".
SEH_HEAD = re.compile(r"^(?:(?:BYTE|WORD|DWORD) PTR )?fs:(?:0x0|\[0x0\])$")


def writes_to_seh_head(image):
    """The instructions of the image's code that write to fs:[0]."""
    with tempfile.NamedTemporaryFile(suffix=".exe") as exe:
        exe.write(image)
        exe.flush()
        listing = subprocess.run(["i686-w64-mingw32-objdump", "-d", "-M", "intel", exe.name],
                                 capture_output=True, text=True, check=True).stdout
    # objdump's lines: address, bytes, then the mnemonic and its operands.
    instructions = [(line.strip(), *fields[2].strip().partition(" ")[::2])
                    for line in listing.splitlines() if len(fields := line.split("\t")) >= 3]
    return [line for line, mnemonic, operands in instructions
            if SEH_HEAD.match(operands.strip().split(",")[0]) and
            mnemonic not in ("push", "cmp", "test")]


def hardening_faults(image):
    """What the shipped image lacks of its hardening, a line each; empty when nothing."""
    pe = pefile.PE(data=image)
    header = pe.OPTIONAL_HEADER
    faults = []
    relocations = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    if (not header.DllCharacteristics & DLL["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"] or
            pe.FILE_HEADER.IMAGE_FILE_RELOCS_STRIPPED or relocations.Size == 0):
        faults.append("ASLR: DYNAMIC_BASE with its relocations")
    faults += [flag for flag in ("NX_COMPAT", "NO_SEH")
               if not header.DllCharacteristics & DLL["IMAGE_DLLCHARACTERISTICS_" + flag]]
    for section in pe.sections:
        flags = section.Characteristics
        if flags & SECTION["IMAGE_SCN_MEM_WRITE"] and flags & (
                SECTION["IMAGE_SCN_MEM_EXECUTE"] | SECTION["IMAGE_SCN_MEM_SHARED"]):
            name = section.Name.rstrip(b"\0").decode()
            faults.append(f"section {name} is writable and executable or shared")
    versions = (header.MajorSubsystemVersion, header.MinorSubsystemVersion,
                header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion)
    if versions != (6, 0, 6, 0):
        faults.append(f"subsystem and OS version 6.0, not {versions}")
    imports = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    if imports != {"kernel32.dll", "msvcrt.dll"}:
        faults.append(f"imports kernel32 and msvcrt only, not {sorted(imports)}")
    tables = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]]
    holder = pe.get_section_by_rva(tables.VirtualAddress)
    if holder is None or holder.Characteristics & SECTION["IMAGE_SCN_MEM_EXECUTE"]:
        faults.append("BA2010: the import tables in an executable section")
    faults += [f"writes fs:[0]: {line}" for line in writes_to_seh_head(image)]
    return faults


def lose(image, what):
    """The image with one of its hardening properties taken away."""
    pe = pefile.PE(data=image)
    header = pe.OPTIONAL_HEADER
    if what == "fs:[0]":
        # mov DWORD PTR fs:[0], esp at the entry point, as an SEH prologue begins.
        data = bytearray(image)
        offset = pe.get_offset_from_rva(header.AddressOfEntryPoint)
        data[offset:offset + 7] = b"\x64\x89\x25\x00\x00\x00\x00"
        return bytes(data)
    if what == "imports":
        return image.replace(b"msvcrt.dll", b"user32.dll", 1)
    if what == "W+X":
        pe.sections[0].Characteristics |= SECTION["IMAGE_SCN_MEM_WRITE"]
    elif what == "version":
        header.MajorOperatingSystemVersion = 4
    elif what == "relocations":
        pe.FILE_HEADER.Characteristics |= pefile.IMAGE_CHARACTERISTICS[
            "IMAGE_FILE_RELOCS_STRIPPED"]
    else:
        header.DllCharacteristics &= ~DLL[what]
    return pe.write()

from support import ROOT  # noqa: E402  (it puts scripts/ on the path)
import cmake_build  # noqa: E402
import size_report  # noqa: E402


def build(source):
    """A copy of the checkout built in source, afresh (no compiler cache), with its own
    dictionary; not through make's job server, whose descriptors are other files here."""
    cmake_build.copy_tracked(source)
    env = {k: v for k, v in os.environ.items()
           if "COMPILER_LAUNCHER" not in k and k not in ("MAKEFLAGS", "MFLAGS")}
    cmake_build.build(os.path.join(source, "build"), "setup", source=source, env=env,
                      dictionary=os.path.join(source, "resources", "payload"))
    return pathlib.Path(source, "build", "setup.exe").read_bytes()


class Reproducible(unittest.TestCase):
    def test_two_folders_give_the_same_bytes(self):
        with tempfile.TemporaryDirectory() as scratch:
            folders = [os.path.join(scratch, "a"),
                       os.path.join(scratch, "a much longer folder name", "with", "depth")]
            images = [build(folder) for folder in folders]

            self.assertEqual(images[0], images[1])
            for folder in folders:
                self.assertNotIn(folder.encode(), images[0])
                self.assertNotIn(scratch.encode(), images[0])

            pe = pefile.PE(data=images[0])
            self.assertEqual(pe.FILE_HEADER.TimeDateStamp, 0, "PE time stamp")
            self.assertTrue(pe.OPTIONAL_HEADER.IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE)
            self.assertEqual(hardening_faults(images[0]), [])
            # The check has teeth: each property taken away is named.
            for what, named in [("IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", "ASLR"),
                                ("relocations", "ASLR"),
                                ("IMAGE_DLLCHARACTERISTICS_NX_COMPAT", "NX_COMPAT"),
                                ("IMAGE_DLLCHARACTERISTICS_NO_SEH", "NO_SEH"),
                                ("W+X", "writable and executable"), ("version", "6.0"),
                                ("imports", "user32"), ("fs:[0]", "writes fs:[0]")]:
                faults = hardening_faults(lose(images[0], what))
                self.assertEqual(len(faults), 1, f"{what}: {faults}")
                self.assertIn(named, faults[0], what)
            manifest = pathlib.Path(folders[0], "build", "generated",
                                    "setup.min.manifest").read_text()
            self.assertIn("<dpiAwareness", manifest)
            self.assertIn('level="requireAdministrator"', manifest)
            beyond = len(images[0]) - size_report.payload_size(
                os.path.join(ROOT, "resources", "payload"))
            self.assertLessEqual(beyond, 48 * 1024, f"{beyond:,} bytes beyond the payload")
