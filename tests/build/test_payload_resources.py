"""The build's reader of dictionary manifests: what it makes of a good manifest, and
the line it names for each manifest the installer could not carry."""

import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(ROOT, "resources", "payload_resources.py")


class PayloadResources(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.dictionary = os.path.join(self.folder.name, "dict")
        self.output = os.path.join(self.folder.name, "out")
        os.mkdir(self.dictionary)

    def make(self, manifest, files=()):
        for name, size in files:
            with open(os.path.join(self.dictionary, name), "wb") as out:
                out.write(b"x" * size)
        with open(os.path.join(self.dictionary, "manifest.txt"), "w", encoding="utf-8") as out:
            out.write(manifest)
        return subprocess.run([sys.executable, SCRIPT, self.dictionary, self.output,
                               "www.torvix.example"], capture_output=True, text=True)

    def piece(self, name):
        with open(os.path.join(self.output, name), "rb") as source:
            return source.read()

    def test_good_manifest(self):
        result = self.make("language\tPortuguês do Brasil\n"
                           "# comment\n\n"
                           "file\tLXWEPB.TLX\t1997-01-06 13:44:46\n"
                           "file\tÇÃO.CLX\t2107-12-31 23:59:58\n",
                           [("LXWEPB.TLX", 3), ("ÇÃO.CLX", 0)])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.piece("files.bin"), b"\x02\x00")
        self.assertEqual(self.piece("name001.bin"), b"LXWEPB.TLX\0")
        self.assertEqual(self.piece("name002.bin"), "ÇÃO.CLX".encode("cp1252") + b"\0")
        self.assertEqual(struct.unpack("<I", self.piece("time001.bin"))[0], 0x22266D97)
        self.assertEqual(struct.unpack("<I", self.piece("time002.bin"))[0],
                         (127 << 9 | 12 << 5 | 31) << 16 | (23 << 11 | 59 << 5 | 29))
        rc = self.piece("payload.rc").decode()
        self.assertIn("LANGUAGE 0x13, 0x02", rc)
        for name in ("FILES", "NAME001", "TIME001", "DATA001", "NAME002", "TIME002", "DATA002",
                     "SUMS"):
            self.assertIn(f"\n{name} RCDATA ", rc)
        # Size and CRC-32 of each resource in lookup order, then the CRC-32 of those.
        sums = self.piece("sums.bin")
        records = [struct.unpack_from("<II", sums, 8 * i) for i in range(7)]
        pieces = [b"\x02\x00", b"LXWEPB.TLX\0", self.piece("time001.bin"), b"x" * 3,
                  "ÇÃO.CLX".encode("cp1252") + b"\0", self.piece("time002.bin"), b""]
        self.assertEqual(records, [(len(p), zlib.crc32(p)) for p in pieces])
        self.assertEqual(len(sums), 7 * 8 + 4)
        self.assertEqual(struct.unpack_from("<I", sums, 56)[0], zlib.crc32(sums[:56]))
        constants = self.piece("build_constants.cpp").decode()
        self.assertIn('DictionaryLanguage[] = "Portugu\\352s do Brasil";', constants)
        self.assertIn('VendorSite[] = "www.torvix.example";', constants)

    def test_manifest_faults_name_the_line(self):
        good = "language\tBrazilian Portuguese\n"
        cases = [
            ("a missing file", good + "file\tGONE.TLX\t1997-01-06 13:44:46\n", [], 2),
            ("more than 255 files",
             good + "".join(f"file\tF{i}.DAT\t1997-01-06 13:44:46\n" for i in range(256)),
             [(f"F{i}.DAT", 0) for i in range(256)], 257),
            ("an empty name", good + "file\t\t1997-01-06 13:44:46\n", [], 2),
            ("a backslash", good + "file\ta\\b.TLX\t1997-01-06 13:44:46\n", [], 2),
            ("a slash", good + "file\ta/b.TLX\t1997-01-06 13:44:46\n", [], 2),
            ("a colon", good + "file\tC:b.TLX\t1997-01-06 13:44:46\n", [], 2),
            ("outside Windows-1252", good + "file\t日本.TLX\t1997-01-06 13:44:46\n", [], 2),
            ("a device name", good + "file\tNUL.TLX\t1997-01-06 13:44:46\n", [], 2),
            ("the temporary name", good + "file\t~Setup.tmp\t1997-01-06 13:44:46\n",
             [("~Setup.tmp", 1)], 2),
            ("the parent folder", good + "file\t..\t1997-01-06 13:44:46\n", [], 2),
            ("a name too long for its message", good + f"file\t{'n' * 235}\t1997-01-06 13:44:46\n",
             [], 2),
            ("listed twice", good + "file\tA.TLX\t1997-01-06 13:44:46\n"
                                    "file\ta.tlx\t1997-01-06 13:44:46\n", [("A.TLX", 1)], 3),
            ("before 1980", good + "file\tA.TLX\t1979-12-31 23:59:58\n", [("A.TLX", 1)], 2),
            ("after 2107", good + "file\tA.TLX\t2108-01-01 00:00:00\n", [("A.TLX", 1)], 2),
            ("odd seconds", good + "file\tA.TLX\t1997-01-06 13:44:47\n", [("A.TLX", 1)], 2),
            ("no such day", good + "file\tA.TLX\t1997-02-30 13:44:46\n", [("A.TLX", 1)], 2),
            ("a missing field", good + "file\tA.TLX\n", [("A.TLX", 1)], 2),
            ("an empty language", "language\t\n", [], 1),
        ]
        for what, manifest, files, line in cases:
            with self.subTest(what):
                result = self.make(manifest, files)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(f"manifest.txt:{line}:", result.stderr)

    def test_no_language_line(self):
        result = self.make("file\tA.TLX\t1997-01-06 13:44:46\n", [("A.TLX", 1)])
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("no language line", result.stderr)

    def test_file_of_two_gib(self):
        path = os.path.join(self.dictionary, "BIG.DAT")
        with open(path, "wb") as out:
            out.truncate(2 ** 31)  # sparse: takes no disk space
        result = self.make("language\tX\nfile\tBIG.DAT\t1997-01-06 13:44:46\n")
        self.assertIn("manifest.txt:2:", result.stderr)
        self.assertIn("2 GiB", result.stderr)


if __name__ == "__main__":
    unittest.main()
