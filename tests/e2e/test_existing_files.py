"""Files already in the host folder, end to end under Wine (docs/reliability.md, "Files
already in the folder"), and settings in the VirtualStore."""

import contextlib
import os
import re
import shutil
import time

import pytest

import wine
from harness import (CLX, COMPLETE, CONFIRM, HOST_FILES, OLD_TIME, TEMPORARY_NAMES, TLX, WineCase,
                     entry_failed, one_test_per_row, payload_bytes, too_old)

SYSCALL = re.compile(r"^\d+\s+(\w+)\((\d+)<([^>]*)>(.*)$")


def calls_on(log, folder, names):
    """(call, path, result) of the strace -f -y log's calls named on files in folder."""
    with open(log, encoding="utf-8", errors="replace") as lines:
        matched = [(m, line) for line in lines if (m := SYSCALL.match(line))]
    return [(m.group(1), m.group(3), line.rsplit("=", 1)[-1].strip()) for m, line in matched
            if m.group(1) in names and os.path.dirname(m.group(3)) == folder]


INSTALLS = [CONFIRM, COMPLETE]


def refused(version):
    return [CONFIRM, too_old(version)]


VIRTUAL_STORE_ROWS = [
    # what, the folder's version, the copy's, where WIN.INI points, what is shown
    ("only the copy", None, "45", "long", INSTALLS),
    ("a newer copy", "30", "45", "long", INSTALLS),
    ("a stale copy", "45", "40", "long", INSTALLS),
    ("both old: the newer named", "38", "40", "long", refused("40")),
    ("named by its 8.3 path, with a decoy under the short name", "30", "45", "short",
     INSTALLS),
    ("a host on D: has no copy", "30", "45", "D:", refused("30")),
    # The folder of 32-bit programs, as a 32-bit process on 64-bit Windows names it.
    ("under Program Files (x86)", "30", "45", "x86", INSTALLS),
    # Elevated with an administrator's password: the run's LOCALAPPDATA is the administrator's;
    # the copy of the user whose shell runs (else the session's user) counts.
    ("elevated as another account", "30", "45", "long", INSTALLS, "Administrator"),
    ("elevated, no shell: the session's user by name", "30", "45", "long", INSTALLS,
     "Administrator"),
    ("a third profile's copy changes nothing", "30", "99", "long", refused("30"), "Administrator",
     "C:\\users\\other\\AppData\\Local\\VirtualStore"),
    # WIN.INI as an old host wrote it without administrator rights: the real one
    # has no Torvix= entry, the VirtualStore copy names a host elsewhere.
    ("WIN.INI's entry only in the copy", "45", None, "win.ini", INSTALLS),
]


class ExistingFiles(WineCase):
    def traced_run(self, prefix, calls):
        """Runs the typical road under strace, on the calls asked for; returns the log."""
        strace = ["strace", "-f", "--seccomp-bpf", "-qq", "-e", f"trace={calls}", "-o"]
        if wine.subprocess.run([*strace, "/dev/null", "true"],
                               capture_output=True).returncode != 0:
            print("\nSKIP strace: this machine does not let it trace")
            self.skipTest("strace cannot trace here")
        log = os.path.join(prefix.root, "strace.log")
        shown, status = prefix.run("ok", "ok", wrapper=[*strace, log, "-y"])
        self.assertEqual(shown, [CONFIRM, COMPLETE])
        return log

    def test_a_repair_writes_no_data_and_restores_the_stamps(self):
        prefix = self.new_prefix(host=True)
        self.assertEqual(prefix.run("ok", "ok")[0], [CONFIRM, COMPLETE])
        host = prefix.path("C:\\TORVIX")
        # Someone changed one file's time; the other is as installed.
        os.utime(os.path.join(host, CLX), (OLD_TIME, OLD_TIME))
        inodes = {name: os.stat(os.path.join(host, name)).st_ino for name in (TLX, CLX)}

        log = self.traced_run(prefix, "write,pwrite64,writev,pwritev,rename,renameat,renameat2")

        self.assert_installed(prefix, "C:\\TORVIX")
        for name in (TLX, CLX):
            self.assertEqual(os.stat(os.path.join(host, name)).st_ino, inodes[name], name)
        self.assertEqual(calls_on(log, host, {"write", "pwrite64", "writev", "pwritev"}), [],
                         "no byte written into the host folder")
        self.assertEqual(prefix.listing("C:\\TORVIX"), sorted(HOST_FILES + [TLX, CLX]))

    def test_an_upgrade_flushes_every_replacement(self):
        prefix = self.new_prefix(host=True)
        host = prefix.path("C:\\TORVIX")
        for name in (TLX, CLX):
            prefix.write("C:\\TORVIX\\" + name, b"an older version of " + name.encode())

        log = self.traced_run(prefix, "fsync,fdatasync,rename,renameat,renameat2")

        self.assert_installed(prefix, "C:\\TORVIX")
        flushes = calls_on(log, host, {"fsync", "fdatasync"})
        flushed = {os.path.basename(path) for _, path, result in flushes if result == "0"}
        self.assertGreaterEqual(len(flushes), 2, "a flush per replaced file")
        # Each copy is flushed under its temporary name, before it takes the target's.
        self.assertEqual(flushed, {"~setup.tmp"})
        self.assertEqual(prefix.listing("C:\\TORVIX"), sorted(HOST_FILES + [TLX, CLX]))

    def test_what_is_read_only_or_a_folder_is_never_changed_and_fails_at_once(self):
        def attrib(prefix, path):
            # As Windows sets it: Wine keeps the attribute as the missing write bits.
            wine.run_through_files([wine.WINE, "cmd", "/c", "attrib", "+r", "C:\\TORVIX\\" + CLX],
                                   env=prefix.env, check=True, timeout=120)
            self.assertFalse(os.stat(path).st_mode & 0o222, "attrib +r took")

        # A folder in the way fails as soon as a read-only file, well short of a hold's 3 s
        # (the quickest run of each counts, so that a busy machine does not blur them).
        cases = [
            ("no write permission", lambda prefix, path: os.chmod(path, 0o444)),
            ("the read-only attribute, set with attrib", attrib),
            ("a folder", None),
        ]
        took = {}
        for what, make_read_only in cases:
            for same in (False, True):  # for a folder: its second run
                with self.subTest(what, same_bytes=same, run=2 if same else 1):
                    prefix = self.new_prefix(host=True)
                    old = payload_bytes(CLX) if same else b"an older lexicon" * 500
                    path = prefix.path("C:\\TORVIX\\" + CLX)
                    if make_read_only:
                        prefix.write("C:\\TORVIX\\" + CLX, old, OLD_TIME)
                        make_read_only(prefix, path)
                    else:
                        os.makedirs(path)
                    started = time.monotonic()

                    shown, status = prefix.run("ok", "ok")

                    kind = "folder" if make_read_only is None else "read-only file"
                    took[kind] = min(took.get(kind, 60), time.monotonic() - started)
                    self.assertEqual(shown, [CONFIRM, entry_failed(CLX)])
                    self.assertEqual(prefix.listing("C:\\TORVIX"), sorted(HOST_FILES + [TLX, CLX]))
                    if make_read_only:
                        self.assert_unchanged(path, old)
                    else:
                        self.assertTrue(os.path.isdir(path) and not os.listdir(path))
        self.assertLess(took["folder"], took["read-only file"] + 1.5, took)

    @pytest.mark.shipped_image
    def test_hidden_and_system_files_keep_their_attributes(self):
        prefix = self.new_prefix(host=True)
        kept = {TLX: 0x2 | 0x4, CLX: 0x2}  # hidden and system, hidden
        for name, attributes in kept.items():
            path = prefix.write("C:\\TORVIX\\" + name, b"an older edition" * 300)
            try:
                # Where Wine keeps the DOS attributes it does not map to permissions.
                os.setxattr(path, "user.DOSATTRIB", f"0x{attributes:x}".encode())
            except OSError as error:
                self.skipTest(f"this file system keeps no extended attributes: {error}")

        shown, status = prefix.run("ok", "ok")

        self.assertEqual(shown, [CONFIRM, COMPLETE])
        self.assert_installed(prefix, "C:\\TORVIX")
        for name, attributes in kept.items():
            stored = os.getxattr(prefix.path("C:\\TORVIX\\" + name), "user.DOSATTRIB")
            self.assertEqual(int(stored, 16) & 0x6, attributes, name)

    def leftovers(self, case):
        # Copies left under every temporary name; a link planted under one stays. On a share,
        # a repair rewrites nothing. The relay trace shows the folder held without delete
        # sharing, and every open inside it by the bare name with FILE_OPEN_REPARSE_POINT.
        names = TEMPORARY_NAMES
        prefix = self.new_prefix()
        host = "\\\\SERVER\\SHARE\\Torvix" if case == "on a share" else "C:\\TORVIX"
        if case == "on a share":
            self.addCleanup(shutil.rmtree, prefix.path("\\\\SERVER"))
            prefix.set_host_entry(host)
        folder = prefix.path(host)
        for name, data in [("torvixx.exe", b"MZ"), ("torvix.ini", b"[Common]\nVersion=45"),
                           (CLX, b"an older lexicon" * 500),
                           *((name, b"half a lexicon" * 100) for name in names)]:
            prefix.write(host + "\\" + name, data)
        outside = prefix.write("C:\\Elsewhere\\victim.dat", b"not the installer's", OLD_TIME)
        if case == "link planted":
            os.remove(os.path.join(folder, names[1]))
            os.symlink(outside, os.path.join(folder, names[1]))

        traced = case == "traced"
        shown, status = prefix.run("ok", "ok", winedebug="+file" if traced else None,
                                   relay=("KERNEL32.CreateFileA",) if traced else ())

        self.assertEqual(shown, [CONFIRM, COMPLETE])
        self.assert_installed(prefix, host)
        kept = [names[1]] if case == "link planted" else []
        self.assertEqual(sorted(os.listdir(folder)), sorted(HOST_FILES + [TLX, CLX] + kept))
        self.assert_unchanged(outside, b"not the installer's")
        if kept:
            self.assertEqual(os.readlink(os.path.join(folder, names[1])), outside)
        if case == "traced":
            held = re.findall(r'Call KERNEL32\.CreateFileA\(\w+ "C:\\\\TORVIX\\\\",\w+,(\w+),'
                              r'\w+,\w+,(\w+),\w+\) ret=\w+\n(?:.*\n){0,60}?\w+:Ret  '
                              r'KERNEL32\.CreateFileA\(\) retval=0*(\w+)', prefix.trace)
            self.assertEqual(len(held), 1, "the folder is held once")
            sharing, flags, handle = held[0]
            self.assertEqual(int(sharing, 16), 0x3, "no delete sharing")
            self.assertTrue(int(flags, 16) & 0x02000000, "the folder itself")
            opens = re.findall(r'trace:file:NtCreateFile .* name=L"([^"\\]*)" objattr=\w+ '
                               r'root=0x(\w+) .* options=(\w+)', prefix.trace)
            self.assertEqual({name for name, _, _ in opens}, {TLX, CLX, *names})
            for name, root, options in opens:
                self.assertEqual(root, handle, f"{name}: inside the folder held")
                self.assertTrue(int(options, 16) & 0x200000, f"{name}: as itself")
            by_path = re.findall(r'name=L"[^"]*TORVIX\\\\(?:LXWEPB|~setup)', prefix.trace)
            self.assertEqual(by_path, [], "a name in the folder opened by its path")
        if case == "on a share":
            inodes = [os.stat(os.path.join(folder, n)).st_ino for n in (TLX, CLX)]
            self.assertEqual(prefix.run("ok", "ok")[0], [CONFIRM, COMPLETE])
            self.assertEqual([os.stat(os.path.join(folder, n)).st_ino for n in (TLX, CLX)],
                             inodes, "a repair rewrote a file")

    def test_a_link_to_the_same_bytes_is_never_stamped(self):
        # Windows replaces the link as a name; Wine opens its target, named elsewhere: the
        # entry is left alone and fails.
        prefix = self.new_prefix(host=True)
        outside = prefix.write("C:\\Elsewhere\\copy.clx", payload_bytes(CLX), OLD_TIME)
        os.symlink(outside, prefix.path("C:\\TORVIX\\" + CLX))

        shown, status = prefix.run("ok", "ok")

        self.assertEqual(shown, [CONFIRM, entry_failed(CLX)])
        self.assertEqual(os.stat(outside).st_mtime, OLD_TIME, "stamped through the link")
        self.assertTrue(os.path.islink(prefix.path("C:\\TORVIX\\" + CLX)))

    def virtual_store(self, prefix):
        """The user's VirtualStore folder, as a C: path."""
        users = [u for u in os.listdir(prefix.path("C:\\users")) if u.lower() != "public"]
        self.assertEqual(len(users), 1, users)
        return f"C:\\users\\{users[0]}\\AppData\\Local\\VirtualStore"

    def redirected_settings(self, what, folder_version, copy_version, entry, expected, *elevated):
        # A host that ran without administrator rights reads its VirtualStore copy; the
        # later version of the two decides, for protected folders of the system drive.
        prefix = self.new_prefix()
        folder = "C:\\Program Files" + (" (x86)" if entry == "x86" else "") + "\\Torvix"
        own = self.virtual_store(prefix)
        store = elevated[1] if len(elevated) > 1 else own
        if elevated:  # another account's LOCALAPPDATA, as a run elevated as it has
            key, local = "HKCU\\Volatile Environment", "LOCALAPPDATA"
            prefix.set_registry(key, local, f"C:\\users\\{elevated[0]}\\AppData\\Local")
            self.addCleanup(prefix.set_registry, key, local, own.rsplit("\\", 1)[0])
        if copy_version is not None:
            prefix.write(store + folder[2:] + "\\torvix.ini",
                         f"[Common]\r\nVersion={copy_version}\r\n")
        if entry == "win.ini":
            folder = "C:\\Apps\\Torvix"
            prefix.add_host(folder, version=folder_version)
            prefix.write(store + "\\Windows\\win.ini",
                         f"[Applications]\r\nTorvix={folder}\r\n")
        elif entry == "D:":
            os.makedirs(os.path.join(prefix.root, "drive_d"))
            prefix.map_drive("d", os.path.join(prefix.root, "drive_d"))
            folder = "D:\\Program Files\\Torvix"
            prefix.add_host(folder, version=folder_version)
            prefix.set_host_entry(folder)
        else:
            prefix.add_host(folder, version=folder_version)
            named = prefix.short_path(folder) if entry == "short" else folder
            if entry == "short":
                self.assertNotEqual(named, folder)
                prefix.write(store + named[2:] + "\\torvix.ini",
                             "[Common]\r\nVersion=30\r\n")
            prefix.set_host_entry(named)

        shell = what == "elevated as another account"
        with prefix.shell() if shell else contextlib.nullcontext():
            shown, status = prefix.run("ok", "ok")

        self.assertEqual(shown, expected)
        if expected == INSTALLS:
            self.assert_installed(prefix, folder)
        elif entry == "D:":
            self.assertEqual(prefix.listing(folder), HOST_FILES, "nothing written")


# Emulated: the trace of the 32-bit image's own flags, and its rename records.
one_test_per_row(ExistingFiles, "leftovers", [("traced",), ("link planted",), ("on a share",)],
                 "traced")
# Emulated: a 32-bit process's own folder names, short path and session user's functions.
one_test_per_row(ExistingFiles, "redirected_settings", VIRTUAL_STORE_ROWS,
                 "under Program Files (x86)", "elevated as another account",
                 "named by its 8.3 path, with a decoy under the short name")
