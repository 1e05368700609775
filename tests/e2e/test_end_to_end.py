"""End-to-end tests of the real setup.exe under Wine on a virtual display.

Each test gets a throwaway Wine prefix with a sample host folder, runs the installer
through the driver, which reads and answers its real boxes and dialog, and then
checks what the user saw, the exit status and the files left on the disk.
"""

import os
import subprocess
import tempfile
import time
import unittest

import pytest

import wine
from harness import (COMPLETE, CONFIRM, DIALOG, HOST_FILES, PAYLOAD_FILES, PROMPT,
                     VERSION_UNKNOWN, WineCase, entry_failed, payload_bytes, too_old)



class EndToEnd(WineCase):
    @pytest.mark.shipped_image
    def test_typical_road(self):
        prefix = self.new_prefix()
        prefix.add_host()
        win_ini = self.read(prefix.win_ini)

        shown, status = prefix.run("ok", "ok")

        self.assertEqual(shown, [CONFIRM, COMPLETE])
        self.assertEqual(status, 0)
        self.assert_installed(prefix, "C:\\TORVIX")
        self.assertEqual(prefix.listing("C:\\TORVIX"),
                         sorted(HOST_FILES + [n for n, _ in PAYLOAD_FILES]))
        self.assertEqual(self.read(prefix.win_ini), win_ini, "WIN.INI is left alone")

    def test_stamps_are_local_time(self):
        # A zone three hours east of UTC with no daylight saving time.
        prefix = self.new_prefix(timezone="XYZ-3")
        prefix.add_host()

        shown, status = prefix.run("ok", "ok")

        self.assertEqual(shown, [CONFIRM, COMPLETE])
        self.assert_installed(prefix, "C:\\TORVIX", utc_offset_seconds=3 * 3600)

    def test_cancel_or_close_on_the_confirmation(self):
        for answer in ("cancel", "close"):
            with self.subTest(answer=answer):
                prefix = self.new_prefix()
                prefix.add_host()
                win_ini = self.read(prefix.win_ini)

                shown, status = prefix.run(answer)

                self.assertEqual(shown, [CONFIRM])
                self.assertEqual(status, 0)
                self.assertEqual(prefix.listing("C:\\TORVIX"), HOST_FILES)
                self.assertEqual(self.read(prefix.win_ini), win_ini)

    def test_file_in_use_keeps_its_old_bytes(self):
        prefix = self.new_prefix()
        prefix.add_host()
        old = b"an older word list\r\n" * 100
        prefix.write("C:\\TORVIX\\LXWEPB2.CLX", old)

        # Held for good: after about 3 s of waiting for the hold to end, the box.
        started = time.monotonic()
        shown, status = prefix.run("ok", "ok", hold="C:\\TORVIX\\LXWEPB2.CLX")

        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual(shown, [CONFIRM, entry_failed("LXWEPB2.CLX")])
        self.assertEqual(status, 0)
        self.assertEqual(self.read(prefix.path("C:\\TORVIX\\LXWEPB2.CLX")), old)
        self.assertEqual(self.read(prefix.path("C:\\TORVIX\\LXWEPB.TLX")),
                         payload_bytes("LXWEPB.TLX"), "earlier files stay")
        self.assertEqual(prefix.listing("C:\\TORVIX"), sorted(HOST_FILES + ["LXWEPB.TLX",
                                                                            "LXWEPB2.CLX"]))

    @pytest.mark.shipped_image
    def test_host_located_at_the_first_try(self):
        prefix = self.new_prefix()
        prefix.add_host("C:\\Apps\\Host")

        shown, status = prefix.run("ok", "ok", "file=C:\\Apps\\Host\\torvixx.exe", "ok")

        self.assertEqual(shown, [CONFIRM, PROMPT, DIALOG, COMPLETE])
        self.assertEqual(status, 0)
        self.assert_installed(prefix, "C:\\Apps\\Host")
        self.assertIn("[Applications]\r\nTorvix=C:\\Apps\\Host\r\n",
                      self.read(prefix.win_ini).decode("cp1252"))
        self.assertFalse(os.path.exists(prefix.path("C:\\TORVIX")))

    def test_wrong_folder_first(self):
        prefix = self.new_prefix()
        prefix.add_host("C:\\Apps\\Host")
        prefix.write("C:\\Old\\torvixx2.exe", b"MZ not the host")

        shown, status = prefix.run("ok", "ok", "file=C:\\Old\\torvixx2.exe", "ok",
                                   "file=C:\\Apps\\Host\\torvixx.exe", "ok")

        self.assertEqual(shown, [CONFIRM, PROMPT, DIALOG, PROMPT, DIALOG, COMPLETE])
        self.assertEqual(status, 0)
        self.assert_installed(prefix, "C:\\Apps\\Host")
        self.assertEqual(prefix.listing("C:\\Old"), ["torvixx2.exe"])
        self.assertIn("Torvix=C:\\Apps\\Host\r\n", self.read(prefix.win_ini).decode("cp1252"))

    def test_cancel_on_the_prompt(self):
        prefix = self.new_prefix()
        win_ini = self.read(prefix.win_ini)

        shown, status = prefix.run("ok", "cancel")

        self.assertEqual(shown, [CONFIRM, PROMPT])
        self.assertEqual(status, 0)
        self.assertEqual(self.read(prefix.win_ini), win_ini)

    def test_a_signed_installer(self):
        # Signed as `make dist SIGN_CERT=... SIGN_KEY=...` signs, with a throwaway
        # certificate: the signature table after the sections changes nothing the
        # installer reads, and its own damage check still passes.
        prefix = self.new_prefix()
        prefix.add_host()
        with tempfile.TemporaryDirectory() as keys:
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                            os.path.join(keys, "key.pem"), "-out", os.path.join(keys, "cert.pem"),
                            "-days", "30", "-subj", "/CN=Test Publisher"],
                           check=True, capture_output=True)
            subprocess.run(["osslsigncode", "sign", "-h", "sha256", "-n", "Setup", "-certs",
                            os.path.join(keys, "cert.pem"), "-key", os.path.join(keys, "key.pem"),
                            "-in", wine.SETUP_EXE, "-out", os.path.join(keys, "signed.exe")],
                           check=True, capture_output=True)
            signed = self.read(os.path.join(keys, "signed.exe"))
        self.assertGreater(len(signed), os.path.getsize(wine.SETUP_EXE))
        prefix.write("C:\\setup.exe", signed)

        shown, status = prefix.run("ok", "ok")

        self.assertEqual(shown, [CONFIRM, COMPLETE])
        self.assertEqual(status, 0)
        self.assert_installed(prefix, "C:\\TORVIX")

    def test_version_gate(self):
        cases = [
            ("40", too_old("40")),
            (None, VERSION_UNKNOWN),
            ("5", COMPLETE),
        ]
        for version, box in cases:
            with self.subTest(version=version):
                prefix = self.new_prefix()
                prefix.add_host(version=version)

                shown, status = prefix.run("ok", "ok")

                self.assertEqual(shown, [CONFIRM, box])
                self.assertEqual(status, 0)
                if box is COMPLETE:
                    self.assert_installed(prefix, "C:\\TORVIX")
                else:
                    self.assertEqual(prefix.listing("C:\\TORVIX"),
                                     [n for n in HOST_FILES if version or n != "torvix.ini"])


if __name__ == "__main__":
    unittest.main()
