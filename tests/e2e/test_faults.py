"""Faults and bad input, end to end: the real setup.exe under Wine meets a full disk, a
damaged resource set, odd WIN.INI entries, host folders at the path limits and odd host
programs. Each case checks the exact boxes, the exit status and the files afterwards:
no good byte may be lost and nothing may be written outside the host folder.

At the end it prints how many cases ran, how many faults were injected and how many
bytes were lost.
"""

import os
import subprocess
import tempfile
import unittest

import wine  # first: it puts scripts/ on the path, where pe_resources lives
import pe_resources  # noqa: E402
from harness import (COMPLETE, CONFIRM, HOST_FILES, PAYLOAD_FILES, PROMPT, WineCase, entry_failed,
                     payload_bytes, resource_fault)

TLX, CLX = (name for name, _ in PAYLOAD_FILES)
TALLY = {"cases": 0, "faults": 0, "bytes lost": 0}


def long_folder(length):
    """A C: folder path of exactly length characters, in segments of at most 100."""
    path = "C:"
    while len(path) < length:
        room = length - len(path) - 1
        path += "\\" + "d" * min(room, 100)
    assert len(path) == length, (path, length)
    return path


class Faults(WineCase):
    """Reuses the end-to-end set-up; only the cases below run here."""

    def count_case(self, fault=True):
        """One more case; fault says whether it injects a failure (a full disk, a damaged
        resource) rather than an odd but workable input."""
        TALLY["cases"] += 1
        TALLY["faults"] += fault

    def assert_kept(self, path, old):
        """The file still holds its old bytes; counts the bytes it lost otherwise."""
        now = self.read(path) if os.path.exists(path) else b""
        if now != old:
            TALLY["bytes lost"] += len(old)
        self.assertEqual(now, old)

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
        return folder

    def test_disk_full_half_way(self):
        for old_present in (True, False):
            with self.subTest(old_present=old_present):
                prefix = self.new_prefix()
                # Room for the host and the first file, but not for the whole second one.
                disk = self.mount_small_disk(prefix, 512 if old_present else 256)
                host = os.path.join(disk, "Host")
                os.mkdir(host)
                with open(os.path.join(host, "torvixx.exe"), "wb") as out:
                    out.write(b"MZ stand-in host program")
                with open(os.path.join(host, "torvix.ini"), "wb") as out:
                    out.write(b"[Common]\r\nVersion=45\r\n")
                old = b"an older lexicon " * 12000  # 204,000 bytes
                if old_present:
                    with open(os.path.join(host, CLX), "wb") as out:
                        out.write(old)
                prefix.set_host_entry("D:\\Host")
                self.count_case()

                shown, status = prefix.run("ok", "ok")

                self.assertEqual(shown, [CONFIRM, entry_failed(CLX)])
                self.assertEqual(status, 0)
                with open(os.path.join(host, TLX), "rb") as source:
                    self.assertEqual(source.read(), payload_bytes(TLX), "earlier files complete")
                expected = sorted(HOST_FILES + [TLX] + ([CLX] if old_present else []))
                self.assertEqual(sorted(os.listdir(host)), expected, "no temporary file left")
                if old_present:
                    self.assert_kept(os.path.join(host, CLX), old)

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
        with open(wine.SETUP_EXE, "rb") as source:
            built = source.read()
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
                self.count_case()

                shown, status = prefix.run("ok", "ok")

                self.assertEqual(shown, [CONFIRM, resource_fault(*message)])
                self.assertEqual(status, 0)
                expected = dict(before)
                for name in written:
                    expected["C:\\TORVIX\\" + name] = len(payload_bytes(name))
                self.assertEqual(prefix.files(), expected, "nothing else, anywhere")

    # --- WIN.INI entries ---------------------------------------------------------------

    def test_win_ini_entries(self):
        cases = [
            # entry, where the host is, answers, boxes after the confirmation, installed in
            ("", "C:", ["ok", "ok"], [COMPLETE], "C:"),
            ("C:\\" + "x" * 253, "C:\\TORVIX", ["ok", "cancel"], [PROMPT], None),
            ("C:\\TORVIX\\", "C:\\TORVIX", ["ok", "ok"], [COMPLETE], "C:\\TORVIX"),
            ("C:\\Nowhere", "C:\\TORVIX", ["ok", "ok", "file=C:\\TORVIX\\torvixx.exe", "ok"],
             [PROMPT, ("DIALOG", "Locate Torvix Folder"), COMPLETE], "C:\\TORVIX"),
        ]
        for entry, host, answers, boxes, installed in cases:
            with self.subTest(entry=entry[:20] + f"... ({len(entry)} characters)"):
                self.assertLessEqual(len(entry), 256)
                prefix = self.new_prefix()
                prefix.add_host(host)
                prefix.set_host_entry(entry)
                before = prefix.files()
                self.count_case(fault=False)

                shown, status = prefix.run(*answers)

                self.assertEqual(shown, [CONFIRM] + boxes)
                self.assertEqual(status, 0)
                if installed is None:
                    self.assertEqual(prefix.files(), before)
                else:
                    self.assert_installed(prefix, installed + "\\")
                    added = set(prefix.files()) - set(before)
                    self.assertEqual(added, {f"{installed}\\{n}" for n, _ in PAYLOAD_FILES})
                written = "Torvix=C:\\TORVIX\r\n" in self.read(prefix.win_ini).decode("cp1252")
                self.assertEqual(written, entry == "C:\\Nowhere", "WIN.INI written only "
                                 "after a located folder")

    # --- Host folders at the path limits -----------------------------------------------

    def test_host_folders_at_the_path_limits(self):
        # Wine's ANSI file functions take paths of up to 260 characters (Windows: 259).
        # At 246 the settings file's path has 257: it must be read whole, not cut to 256.
        # At 248 every path still fits, the replacement's temporary file too, since its
        # name is no longer than the host program's. At 249 the host program's path does
        # not fit, so the host counts as not found.
        for length, old_files, installs in ((246, False, True), (248, True, True),
                                            (249, False, False)):
            with self.subTest(length=length, old_files=old_files):
                folder = long_folder(length)
                prefix = self.new_prefix()
                prefix.add_host(folder)
                prefix.set_host_entry(folder)
                if old_files:
                    for name, _ in PAYLOAD_FILES:
                        prefix.write(folder + "\\" + name, b"old bytes")
                before = prefix.files()
                self.count_case(fault=False)

                shown, status = prefix.run("ok", "cancel" if not installs else "ok")

                self.assertEqual(shown, [CONFIRM, COMPLETE if installs else PROMPT])
                self.assertEqual(status, 0)
                if installs:
                    self.assert_installed(prefix, folder)
                    self.assertEqual(set(prefix.files()),
                                     set(before) | {folder + "\\" + n for n, _ in PAYLOAD_FILES})
                else:
                    self.assertEqual(prefix.files(), before)

    # --- Odd host programs -------------------------------------------------------------

    def test_host_program_that_is_a_directory(self):
        prefix = self.new_prefix()
        os.makedirs(prefix.path("C:\\TORVIX\\torvixx.exe"))
        prefix.write("C:\\TORVIX\\torvix.ini", "[Common]\r\nVersion=45\r\n")
        before = prefix.files()
        self.count_case(fault=False)

        shown, status = prefix.run("ok", "cancel")

        self.assertEqual(shown, [CONFIRM, PROMPT])
        self.assertEqual(status, 0)
        self.assertEqual(prefix.files(), before)

    def test_host_program_stamped_before_1980(self):
        prefix = self.new_prefix()
        prefix.add_host()
        stamp = 157766400  # 1975-01-01
        os.utime(prefix.path("C:\\TORVIX\\torvixx.exe"), (stamp, stamp))
        self.count_case(fault=False)

        shown, status = prefix.run("ok", "ok")

        self.assertEqual(shown, [CONFIRM, COMPLETE])
        self.assertEqual(status, 0)
        self.assert_installed(prefix, "C:\\TORVIX")


def tearDownModule():
    print(f"\nFaults suite: {TALLY['cases']} cases, {TALLY['faults']} faults injected, "
          f"{TALLY['bytes lost']} bytes lost")


if __name__ == "__main__":
    unittest.main()
