"""Run from a hostile Downloads folder: planted DLLs never load, a damaged download changes
nothing, planted links are never followed; prints what was planted, loaded or lost."""

import itertools
import os
import pathlib
import re
import threading
import time

import pytest

import wine  # first: it puts scripts/ on the path, where pe_resources lives
import pe_resources  # noqa: E402
from harness import (CLX, COMPLETE, CONFIRM, DIALOG, HOST_FILES, OLD_TIME, PROMPT, TLX, WineCase,
                     entry_failed, one_test_per_row, resource_fault, too_old)

DOWNLOADS = "C:\\Users\\Public\\Downloads"
WORKDIR = "C:\\Users\\Public\\Work"
SETUP = DOWNLOADS + "\\setup.exe"
RECORD = "C:\\planted-loads.txt"
TALLY = {"loads checked": 0, "roads": 0, "damaged installers": 0, "planted loads": 0,
         "outside bytes changed": 0, "bytes lost": 0}
PLANTED_ROADS = [
    # what, host folder, its version, answers, boxes
    ("the typical road", "C:\\TORVIX", "45", ["ok", "ok"], [CONFIRM, COMPLETE]),
    ("the locate road with the dialog", "C:\\Apps\\Host", "45",
     ["ok", "ok", "file=C:\\Apps\\Host\\torvixx.exe", "ok"], [CONFIRM, PROMPT, DIALOG, COMPLETE]),
    ("a version refusal", "C:\\TORVIX", "40", ["ok", "ok"], [CONFIRM, too_old("40")]),
    # Vista's shell breaks under SetDefaultDllDirectories: there the preload alone keeps
    # planted DLLs out, and the dialog still shows.
    ("the locate road on Windows Vista", "C:\\Apps\\Host", "45",
     ["ok", "ok", "file=C:\\Apps\\Host\\torvixx.exe", "ok"], [CONFIRM, PROMPT, DIALOG, COMPLETE],
     "vista"),
]

# What Wine's loader trace shows the installer loading on these roads (winsta on Vista's
# alone), 32- and 64-bit alike: every planted run checks that each DLL it loads is planted.
LOADED_ON_THE_ROADS = """
    advapi32 combase comctl32 comdlg32 compstui gdi32 imm32 kernel32 kernelbase msimg32
    msvcrt ole32 rpcrt4 sechost shcore shell32 shlwapi ucrtbase user32 uxtheme version
    win32u winex11.drv winspool.drv winsta wtsapi32 zlib1
""".split()
# Names installers were found loading from their own folder, in public advisories.
KNOWN_PLANTED = """
    apphelp bcrypt cabinet cfgmgr32 clbcatq comctl32 comdlg32 crypt32 cryptbase cryptsp
    cscapi d3d11 d3d9 dbghelp devobj dhcpcsvc dnsapi duser dwmapi dwrite dxgi edputil
    explorerframe feclient gdiplus hid iertutil imm32 iphlpapi kernel.appcore linkinfo lpk
    mpr msacm32 msasn1 msftedit msi msimg32 mswsock ncrypt netapi32 netutils nsi ntmarta
    ntshrui oleacc oleaut32 ole32 powrprof profapi propsys riched20 riched32 rsaenh samcli
    samlib secur32 setupapi sfc shcore shell32 shfolder shlwapi srvcli sspicli textshaping
    umpdc urlmon userenv usp10 uxtheme version windows.storage winhttp wininet winmm
    wintrust wldp ws2_32 wsock32 wtsapi32 xmllite
""".split()
PLANTED_NAMES = sorted({n if n.endswith(".drv") else n + ".dll"
                        for n in LOADED_ON_THE_ROADS + KNOWN_PLANTED})

LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"(.*)" at \S+: (\w+)')


def loads_by_setup(trace):
    """The DLLs the installer's process loaded: (path in lower case, "native" or "builtin")."""
    loads = [(m.group(1), m.group(2).replace("\\\\", "\\").lower(), m.group(3))
             for m in map(LOADED.match, trace.splitlines()) if m]
    pids = {pid for pid, path, _ in loads if path.endswith("\\setup.exe")}
    assert len(pids) == 1, f"the installer's process is not in the trace: {pids}"
    return [(path, kind) for pid, path, kind in loads
            if pid in pids and not path.endswith("\\setup.exe")]


class HostileFolder(WineCase):
    def setup_in_downloads(self, prefix, image=None):
        prefix.write(SETUP, image if image is not None else self.read(wine.SETUP_EXE))
        os.makedirs(prefix.path(WORKDIR), exist_ok=True)

    # --- Planted DLLs -----------------------------------------------------------------

    def planted_records(self, prefix):
        path = pathlib.Path(prefix.path(RECORD))
        lines = path.read_bytes().decode("cp1252").splitlines() if path.exists() else []
        return [tuple(line.split("\t")) for line in lines if line]

    @pytest.mark.shipped_image
    def test_the_marker_records_a_load(self):
        # The marker must say when it is loaded, or its silence below proves nothing. Under
        # a name Wine has no builtin of: for its own names Wine loads its builtin.
        prefix = self.new_prefix()
        prefix.write("C:\\probe\\marker.dll", self.read(wine.MARKER_DLL))
        # The rundll32 of the marker's kind: 32-bit, or 64-bit on a 64-bit bench.
        rundll32 = "syswow64" if wine.BITS == 32 else "system32"
        wine.run_through_files([wine.WINE, f"C:\\windows\\{rundll32}\\rundll32.exe",
                                "C:\\probe\\marker.dll,Nothing"], env=prefix.env, timeout=60)
        records = self.planted_records(prefix)
        self.assertTrue(records, "the marker recorded nothing")
        self.assertTrue(records[0][0].lower().endswith("rundll32.exe"), records)

    def planted_dlls(self, what, host, version, answers, boxes, *windows):
        marker = self.read(wine.MARKER_DLL)
        prefix = self.new_prefix()
        self.setup_in_downloads(prefix)
        prefix.add_host(host, version)
        for folder, name in itertools.product((DOWNLOADS, WORKDIR), PLANTED_NAMES):
            prefix.write(folder + "\\" + name, marker)
        if windows:
            # Put back for the tests that take the prefix next.
            prefix.set_registry("HKCU\\Software\\Wine", "Version", windows[0])
            self.addCleanup(prefix.set_registry, "HKCU\\Software\\Wine", "Version", None)
        TALLY["roads"] += 1

        shown, status = prefix.run(*answers, program=SETUP, workdir=WORKDIR,
                                   winedebug="+pid,+loaddll", relay=("KERNEL32.GetVersion",
                                   "KERNEL32.GetProcAddress", "KERNEL32.LoadLibraryExA")
                                   if windows else ())

        self.assertEqual(shown, boxes)
        if boxes[-1] is COMPLETE:
            self.assert_installed(prefix, host)
        by_setup = [r for r in self.planted_records(prefix)
                    if r[0].lower().endswith("setup.exe")]
        TALLY["planted loads"] += len(by_setup)
        self.assertEqual(by_setup, [], "a planted DLL ran inside the installer")
        # Wine names a builtin by the path of a file of that name but runs its own code;
        # a native load would run the file's.
        loads = loads_by_setup(prefix.trace)
        planted = [path for path, kind in loads if kind == "native" and
                   path.startswith((DOWNLOADS.lower(), WORKDIR.lower()))]
        self.assertEqual(planted, [], "the loader mapped a planted DLL")
        # A DLL loaded under a name not planted would go untested: plant it too (above).
        loaded = {path.rsplit("\\", 1)[1] for path, _ in loads}
        self.assertEqual(loaded - set(PLANTED_NAMES), set(), "loaded, but not planted")
        if DIALOG in boxes:
            self.assertIn("comdlg32.dll", loaded, "the trace shows the dialog's DLLs")
        TALLY["loads checked"] += len(loaded)
        if windows:
            # Short messages: the trace runs to tens of megabytes.
            trace = prefix.trace
            self.assertTrue("Call KERNEL32.GetVersion()" in trace, "the version asked")
            self.assertFalse('"SetDefaultDllDirectories"' in trace,
                             "SetDefaultDllDirectories asked for on Vista")
            self.assertTrue(re.search(r'Call KERNEL32\.LoadLibraryExA\(\w+ "[^"]*'
                                      r'system32\\\\uxtheme\.dll",0+,0+8\)', trace),
                            "the preload from the system folder")

    def run_probe(self, prefix, probe, *arguments):
        printed = wine.run_through_files([wine.WINE, probe, *arguments], env=prefix.env,
                                         timeout=120, cwd=prefix.path(DOWNLOADS))
        return printed.stdout.decode("cp1252")

    def test_without_a_restricted_search_the_dialogs_dlls_come_from_the_system(self):
        # Without KB2533623 the DLL search cannot be restricted: the installer preloads what
        # the boxes and the dialog load by name. The probe takes that road, beside markers.
        prefix = self.new_prefix()
        probe = DOWNLOADS + "\\probe.exe"
        prefix.write(probe, self.read(os.path.join(wine.BUILD, "e2e_preload_probe.exe")))
        marker = self.read(wine.MARKER_DLL)
        names = self.run_probe(prefix, probe, "--names").split()
        self.assertTrue(names, "the probe lists the names it preloads")
        # Wine has no ntmarta.dll: only the list shows it before advapi32, which loads it.
        self.assertLess(names.index("ntmarta.dll"), names.index("advapi32.dll"))
        for name in names:
            prefix.write(DOWNLOADS + "\\" + name, marker)

        printed = self.run_probe(prefix, probe)

        lines = [line.split("\t") for line in printed.splitlines()]
        system = next(line[1] for line in lines if line[0] == "SYSTEM").lower()
        loaded = {line[1]: line[2].lower() for line in lines if line[0] == "LOADED"}
        self.assertEqual(sorted(line[1] for line in lines if line[0] in ("LOADED", "ABSENT")),
                         sorted(names), "the probe reports every preloaded name")
        self.assertGreaterEqual(len(loaded), len(names) // 2, "Wine has most of them")
        for name, path in loaded.items():
            self.assertEqual(path.rsplit("\\", 1)[0], system, name)
        self.assertEqual(self.planted_records(prefix), [], "a planted DLL ran")

    # --- A damaged download -----------------------------------------------------------

    def test_a_damaged_download_changes_nothing(self):
        built = pathlib.Path(wine.SETUP_EXE).read_bytes()
        sizes = {r.name: r.size for r in pe_resources.PeImage(built).rcdata()}
        cases = [
            # resource, byte offset, bit: one bit flipped, as a bad download or disk does
            ("FILES", 0, 1),  # 2 becomes 0
            ("NAME001", 2, 0),
            ("TIME002", 1, 3),
            ("DATA001", 0, 7),
            ("DATA002", sizes["DATA002"] // 2, 1),
            ("DATA002", sizes["DATA002"] - 1, 0),
            ("SUMS", 20, 2),
        ]
        for resource, offset, bit in cases:
            with self.subTest(resource=resource, offset=offset):
                image = pe_resources.PeImage(built)
                image.flip(resource, offset, bit)
                prefix = self.new_prefix(host=True)
                self.setup_in_downloads(prefix, bytes(image.data))
                old = {TLX: b"an older word list\r\n" * 50, CLX: b"an older lexicon" * 999}
                for name, data in old.items():
                    prefix.write("C:\\TORVIX\\" + name, data, OLD_TIME)
                before = prefix.files()
                TALLY["damaged installers"] += 1

                shown, status = prefix.run("ok", "ok", program=SETUP)

                self.assertEqual(shown, [CONFIRM, resource_fault(resource, "damaged")])
                for name, data in old.items():
                    self.assert_unchanged(prefix.path("C:\\TORVIX\\" + name), data,
                                          tally=(TALLY, "bytes lost"))
                self.assertEqual(prefix.files(), before, "nothing new anywhere")

    # --- Links in the host folder -----------------------------------------------------

    def test_links_are_never_followed(self):
        cases = [
            # what, the entry planted, how it is made
            ("~setup.tmp as a symbolic link", "~setup.tmp", "symlink"),
            ("~setup.tmp as a hard link", "~setup.tmp", "hardlink"),
            ("~setup.tmp as a dangling symbolic link", "~setup.tmp", "dangling"),
            ("a payload name as a symbolic link", CLX, "symlink"),
            ("a payload name as a hard link", CLX, "hardlink"),
        ]
        for what, name, kind in cases:
            with self.subTest(what):
                prefix = self.new_prefix(host=True)
                self.setup_in_downloads(prefix)
                for payload in (TLX, CLX):
                    if payload != name:
                        prefix.write("C:\\TORVIX\\" + payload, b"an older copy")
                outside = b"someone else's file, which must not change\r\n" * 40
                victim = prefix.write("C:\\Elsewhere\\victim.dat", outside, OLD_TIME)
                link = prefix.path("C:\\TORVIX\\" + name)
                nowhere = prefix.path("C:\\Elsewhere\\nothing.dat")
                (os.link if kind == "hardlink" else os.symlink)(
                    nowhere if kind == "dangling" else victim, link)

                shown, status = prefix.run("ok", "ok", program=SETUP)

                # Wine opens a symbolic link's target even when told not to: named elsewhere,
                # it is left alone and fails. Windows replaces the link (the unit tests' row).
                followed = kind == "symlink" and name == CLX
                self.assertEqual(shown, [CONFIRM, entry_failed(CLX) if followed else COMPLETE])
                self.assert_unchanged(victim, outside, tally=(TALLY, "outside bytes changed"))
                self.assertFalse(os.path.lexists(nowhere))
                if followed:
                    self.assertEqual(os.readlink(link), victim)
                    continue
                self.assert_installed(prefix, "C:\\TORVIX")
                for payload in (TLX, CLX):
                    path = prefix.path("C:\\TORVIX\\" + payload)
                    self.assertFalse(os.path.islink(path), "replaced as a name")
                    self.assertEqual(os.stat(path).st_nlink, 1, "replaced as a name")
                planted = [name] if name.startswith("~") else []
                self.assertEqual(prefix.listing("C:\\TORVIX"),
                                 sorted(HOST_FILES + [TLX, CLX] + planted),
                                 "no temporary file of ours left; what was planted stays")
                if kind == "symlink" and planted:
                    self.assertEqual(os.readlink(link), victim)

    def test_a_folder_link_pointed_elsewhere_while_a_move_waits(self):
        # C:\TORVIX links to C:\real1 (a junction any user may make). The held old lexicon
        # makes the move wait while the link is pointed at C:\real2: the move, made inside
        # the folder held, lands in C:\real1, and nothing in C:\real2 changes.
        prefix = self.new_prefix()
        self.setup_in_downloads(prefix)
        prefix.add_host("C:\\real1")
        prefix.write("C:\\real1\\" + CLX, b"an older lexicon" * 500)
        outside = b"someone else's lexicon, which must not change\r\n" * 40
        victim = prefix.write("C:\\real2\\" + CLX, outside, OLD_TIME)
        link = prefix.path("C:\\TORVIX")
        os.symlink(prefix.path("C:\\real1"), link)
        copy = prefix.path("C:\\real1\\~setup.tmp")

        def point_elsewhere():
            deadline = time.monotonic() + 60
            while not os.path.exists(copy) and time.monotonic() < deadline:
                time.sleep(0.002)
            swapped = link + ".new"
            os.symlink(prefix.path("C:\\real2"), swapped)
            os.replace(swapped, link)
        swapper = threading.Thread(target=point_elsewhere)
        swapper.start()
        shown, status = prefix.run("ok", "ok", program=SETUP, hold="C:\\real1\\" + CLX,
                                   hold_shared=True, release_when="C:\\real1\\~setup.tmp",
                                   release_after_ms=700)
        swapper.join()

        self.assertEqual(shown, [CONFIRM, COMPLETE])
        self.assertEqual(os.readlink(link), prefix.path("C:\\real2"), "the link was swapped")
        self.assertEqual(prefix.listing("C:\\real2"), [CLX], "nothing new outside")
        self.assert_unchanged(victim, outside, tally=(TALLY, "outside bytes changed"))
        self.assert_installed(prefix, "C:\\real1")
        self.assertEqual(prefix.listing("C:\\real1"), sorted(HOST_FILES + [TLX, CLX]))


# Emulated: the 32-bit DLL search on the roads with the boxes and the dialog.
one_test_per_row(HostileFolder, "planted_dlls", PLANTED_ROADS, "the typical road",
                 "the locate road with the dialog")


def tearDownModule():
    print(f"\nHostile folder: {len(PLANTED_NAMES)} DLL names ({len(LOADED_ON_THE_ROADS)} "
          f"from the loader trace, {len(KNOWN_PLANTED)} known from advisories) planted in 2 "
          f"folders on {TALLY['roads']} roads, {TALLY['loads checked']} loads checked, "
          f"{TALLY['planted loads']} loaded; "
          f"{TALLY['damaged installers']} damaged installers, {TALLY['bytes lost']} bytes lost; "
          f"{TALLY['outside bytes changed']} bytes changed outside the host folder")
