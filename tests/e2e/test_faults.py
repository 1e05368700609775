"""Faults end to end: a full disk and a damaged resource set, with the exact boxes and no
good byte lost or written outside the host folder; it prints the cases and lost bytes."""

import os
import pathlib
import subprocess
import tempfile

import wine  # first: it puts scripts/ on the path, where pe_resources lives
import pe_resources  # noqa: E402
from harness import (CLX, CONFIRM, HOST_FILES, OLD_TIME, TLX, WineCase, entry_failed,
                     payload_bytes, resource_fault)

TALLY = {"cases": 0, "bytes lost": 0}  # a fault injected in each case


class Faults(WineCase):
    # --- A full disk -------------------------------------------------------------------

    def mount_small_disk(self, prefix, size_kib):
        """A tmpfs of the given size as Wine's drive D:."""
        folder = tempfile.mkdtemp(prefix="disk-", dir=wine.WORK)
        self.addCleanup(os.rmdir, folder)
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size_kib}k", "tmpfs",
                                folder], capture_output=True, text=True)
        if mount.returncode != 0:
            print(f"\nSKIP full disk: cannot mount a tmpfs here ({mount.stderr.strip()})")
            self.skipTest("mounting a tmpfs is not allowed here")
        self.addCleanup(subprocess.run, ["umount", folder])
        prefix.map_drive("d", folder)

    def test_disk_full_half_way(self):
        for old_present in (True, False):
            with self.subTest(old_present=old_present):
                prefix = self.new_prefix()
                # Room for the host and the first file, but not for the whole second one.
                self.mount_small_disk(prefix, 512 if old_present else 256)
                prefix.add_host("D:\\Host")
                host = prefix.path("D:\\Host")
                old = b"an older lexicon " * 12000  # 204,000 bytes
                if old_present:
                    prefix.write("D:\\Host\\" + CLX, old, OLD_TIME)
                prefix.set_host_entry("D:\\Host")
                TALLY["cases"] += 1

                shown, status = prefix.run("ok", "ok")

                self.assertEqual(shown, [CONFIRM, entry_failed(CLX)])
                self.assertEqual(self.read(os.path.join(host, TLX)), payload_bytes(TLX),
                                 "earlier files complete")
                expected = sorted(HOST_FILES + [TLX] + ([CLX] if old_present else []))
                self.assertEqual(sorted(os.listdir(host)), expected, "no temporary file left")
                if old_present:
                    self.assert_unchanged(os.path.join(host, CLX), old,
                                          tally=(TALLY, "bytes lost"))

    # --- A damaged resource set --------------------------------------------------------

    def test_damaged_resource_set(self):
        cases = [
            ("a missing DATA002", lambda pe: pe.rename("DATA002", "DATA00X"),
             ("DATA002", "not found"), [TLX]),
            ("a name climbing out of the folder", lambda pe: pe.replace("NAME001", b"..\\X.TLX\0"),
             ("NAME001", "malformed"), []),
            ("a second name with a drive", lambda pe: pe.replace("NAME002", b"C:X.CLX\0"),
             ("NAME002", "malformed"), [TLX]),
            ("a name without its zero byte", lambda pe: pe.set_size("NAME001", 10),
             ("NAME001", "malformed"), []),
            ("a time of three bytes", lambda pe: pe.set_size("TIME001", 3),
             ("TIME001", "malformed"), []),
            ("a count of no bytes", lambda pe: pe.set_size("FILES", 0),
             ("FILES", "malformed"), []),
        ]
        built = pathlib.Path(wine.SETUP_EXE).read_bytes()
        for what, damage, message, written in cases:
            with self.subTest(what):
                image = pe_resources.PeImage(built)
                damage(image)
                # The checksums follow the damage, so that it meets the refusal of
                # malformed resources, not the damage check before it.
                image.reseal()
                prefix = self.new_prefix()
                prefix.write("C:\\setup.exe", bytes(image.data))
                prefix.add_host()
                before = prefix.files()
                TALLY["cases"] += 1

                shown, status = prefix.run("ok", "ok")

                self.assertEqual(shown, [CONFIRM, resource_fault(*message)])
                written = {"C:\\TORVIX\\" + name: len(payload_bytes(name)) for name in written}
                self.assertEqual(prefix.files(), {**before, **written}, "nothing else, anywhere")


def tearDownModule():
    print(f"\nFaults suite: {TALLY['cases']} cases, {TALLY['cases']} faults injected, "
          f"{TALLY['bytes lost']} bytes lost")
