"""The manifest reader: what it makes of a good one, and the line it names in a bad one."""

import os
import pathlib
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

from support import ROOT
SCRIPT = os.path.join(ROOT, "resources", "payload_resources.py")


class PayloadResources(unittest.TestCase):
    def setUp(self):
        self.folder = self.enterContext(tempfile.TemporaryDirectory())
        self.dictionary = os.path.join(self.folder, "dict")
        self.output = os.path.join(self.folder, "out")
        os.mkdir(self.dictionary)

    def make(self, manifest, files=(), settings=("www.torvix.example",), env=None):
        for name, size in files:
            pathlib.Path(self.dictionary, name).write_bytes(b"x" * size)
        data = manifest if isinstance(manifest, bytes) else manifest.encode("utf-8")
        pathlib.Path(self.dictionary, "manifest.txt").write_bytes(data)
        return self.run_script(self.dictionary, settings, env)

    def run_script(self, dictionary, settings=("www.torvix.example",), env=None):
        environment = {k: v for k, v in os.environ.items() if not k.startswith("SETUP_")}
        return subprocess.run([sys.executable, SCRIPT, dictionary, self.output, *settings],
                              capture_output=True, text=True, env={**environment, **(env or {})})

    def piece(self, name):
        return pathlib.Path(self.output, name).read_bytes()

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
                     "SUMS", "INFO"):
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

        def f(*names, when="1997-01-06 13:44:46"):
            """The good manifest with a file line for each name."""
            return good + "".join(f"file\t{name}\t{when}\n" for name in names)
        cases = [
            ("a missing file", f("GONE.TLX"), [], 2),
            ("more than 255 files", f(*(f"F{i}.DAT" for i in range(256))),
             [(f"F{i}.DAT", 0) for i in range(256)], 257),
            ("an empty name", f(""), [], 2),
            ("a backslash", f("a\\b.TLX"), [], 2),
            ("a slash", f("a/b.TLX"), [], 2),
            ("a colon", f("C:b.TLX"), [], 2),
            ("outside Windows-1252", f("日本.TLX"), [], 2),
            ("a device name", f("NUL.TLX"), [], 2),
            *[(f"the temporary name {name}", f(name), [(name, 1)], 2)
              for name in ("~Setup.tmp", "~setup.tm1", "~SETUP.TM2", "~sEtUp.Tm3")],
            ("the parent folder", f(".."), [], 2),
            ("a name too long for its message", f("n" * 235), [], 2),
            ("listed twice", f("A.TLX", "a.tlx"), [("A.TLX", 1)], 3),
            ("before 1980", f("A.TLX", when="1979-12-31 23:59:58"), [("A.TLX", 1)], 2),
            ("after 2107", f("A.TLX", when="2108-01-01 00:00:00"), [("A.TLX", 1)], 2),
            ("odd seconds", f("A.TLX", when="1997-01-06 13:44:47"), [("A.TLX", 1)], 2),
            ("no such day", f("A.TLX", when="1997-02-30 13:44:46"), [("A.TLX", 1)], 2),
            ("a missing field", good + "file\tA.TLX\n", [("A.TLX", 1)], 2),
            ("an empty language", "language\t\n", [], 1),
            ("the same name but for a non-ASCII letter's case", f("ä.dic", "Ä.DIC"),
             [("ä.dic", 1), ("Ä.DIC", 1)], 3),
            ("ÿ and Ÿ", f("ÿ", "Ÿ"), [("ÿ", 1), ("Ÿ", 1)], 3),
            ("a device name with spaces before its extension", f("CON .txt"), [], 2),
            ("the console's input", f("CONIN$"), [], 2),
            ("the console's output with an extension", f("conout$.log"), [], 2),
            ("a port with a superscript digit", f("COM¹"), [], 2),
            ("another", f("lpt³.txt"), [], 2),
        ]
        for what, manifest, files, line in cases:
            with self.subTest(what):
                result = self.make(manifest, files)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(f"manifest.txt:{line}:", result.stderr)

    def test_manifest_encodings_and_places(self):
        good = "language\tDeutsch\nfile\tA.TLX\t1997-01-06 13:44:46\n"
        with self.subTest("a byte-order mark, as Windows Notepad saves it"):
            result = self.make(b"\xef\xbb\xbf" + good.encode(), [("A.TLX", 1)])
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(self.piece("name001.bin"), b"A.TLX\0")
        with self.subTest("not UTF-8"):
            result = self.make(good.encode() + "file\tÜ.TLX\t1997-01-06 13:44:46\n"
                               .encode("cp1252"), [("A.TLX", 1)])
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("manifest.txt:3: byte 0xDC at column 6 is not UTF-8", result.stderr)
            self.assertNotIn("Traceback", result.stderr)
        with self.subTest("no manifest"):
            os.remove(os.path.join(self.dictionary, "manifest.txt"))
            result = self.run_script(self.dictionary)
            self.assertIn(f"the dictionary folder {self.dictionary} has no manifest.txt",
                          result.stderr)
        with self.subTest("no folder"):
            missing = os.path.join(self.folder, "nowhere")
            result = self.run_script(missing)
            self.assertIn(f"the dictionary folder {missing} does not exist", result.stderr)
        with self.subTest("no files: builds, with a warning"):
            result = self.make("language\tDeutsch\n")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("warning:", result.stderr)
            self.assertIn("no file lines", result.stderr)
            self.assertEqual(self.piece("files.bin"), b"\x00\x00")

    def test_settings_in_windows_1252(self):
        manifest = "language\tDeutsch\nfile\tA.TLX\t1997-01-06 13:44:46\n"
        result = self.make(manifest, [("A.TLX", 1)], settings=(),
                           env={"SETUP_COMPANY_NAME": 'Wörter "Q" Verlag',
                                "SETUP_VENDOR_SITE": "www.wörter.example"})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn('#define COMPANY_NAME "W\\366rter ""Q"" Verlag"',
                      self.piece("settings.rh").decode())
        self.assertIn('VendorSite[] = "www.w\\366rter.example";',
                      self.piece("build_constants.cpp").decode())
        self.assertEqual(self.piece("info.bin"),
                         b"language\tDeutsch\r\nsite\twww.w\xf6rter.example\r\n")
        for setting, value, shown in (("SETUP_COMPANY_NAME", "Słowa GmbH", "'ł' (U+0142"),
                                      ("SETUP_VENDOR_SITE", "www.szőr.example", "'ő' (U+0151")):
            with self.subTest(setting):
                result = self.make(manifest, [("A.TLX", 1)], settings=(), env={setting: value})
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(f"the setting {setting[6:]} has {shown}", result.stderr)
                self.assertIn("Windows-1252", result.stderr)
                self.assertNotIn("Traceback", result.stderr)

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
