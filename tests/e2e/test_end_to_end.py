"""The user's plain roads end to end, one table of scenarios and what must follow (boxes,
files, WIN.INI, nothing else changed on C:); and a signed installer."""

import os
import subprocess
import tempfile
import time
from dataclasses import dataclass, field

import wine
from harness import (CLX, COMPLETE, CONFIRM, DIALOG, HOST_FILES, PROMPT, TLX, VERSION_UNKNOWN,
                     WineCase, entry_failed, one_test_per_row, payload_bytes, too_old)

LOCATE = ["file=C:\\TORVIX\\torvixx.exe", "ok"]


def long_folder(length):
    """A C: folder path of exactly length characters, in segments of at most 100."""
    path = "C:"
    while len(path) < length:
        path += "\\" + "d" * min(length - len(path) - 1, 100)
    return path


@dataclass
class Road:
    what: str
    answers: list
    boxes: list  # after the confirmation
    host: str = "C:\\TORVIX"  # where the stand-in host is; None for none
    version: str = "45"  # its settings' Version; None for no settings file
    entry: str = None  # WIN.INI's Torvix=; None for no key
    files: dict = field(default_factory=dict)  # more files before the run
    folders: tuple = ()  # more folders before the run
    installed: str = None  # the folder the payload goes into; None for nowhere
    written: tuple = (TLX, CLX)  # the payload files written there
    recorded: str = None  # the folder WIN.INI records; None for WIN.INI left alone
    timezone: str = "UTC"
    offset: int = 0  # the zone's offset from UTC, in seconds
    run: dict = field(default_factory=dict)  # the driver's settings (a held file)
    within: float = None  # seconds the run may take at most
    host_stamp: int = None  # the host program's time
    shipped: bool = False  # shows what the 32-bit image does: run on it under emulation


OLD = b"an older word list\r\n" * 100
ROADS = [
    Road("the typical road", ["ok", "ok"], [COMPLETE], installed="C:\\TORVIX", shipped=True),
    # A zone three hours east of UTC with no daylight saving time.
    Road("stamps in local time", ["ok", "ok"], [COMPLETE], installed="C:\\TORVIX",
         timezone="XYZ-3", offset=3 * 3600),
    Road("cancel on the confirmation", ["cancel"], []),
    Road("the confirmation closed", ["close"], []),
    # Held for good: after about 3 s of waiting for the hold to end, the box.
    Road("a file in use keeps its old bytes", ["ok", "ok"], [entry_failed(CLX)],
         files={"C:\\TORVIX\\" + CLX: OLD}, installed="C:\\TORVIX", written=(TLX,),
         run={"hold": "C:\\TORVIX\\" + CLX}, within=10),
    # A scanner holds the old lexicon and lets go 0.7 s after the word list appears.
    Road("a file held for a moment is replaced", ["ok", "ok"], [COMPLETE],
         files={"C:\\TORVIX\\" + CLX: OLD}, installed="C:\\TORVIX",
         run={"hold": "C:\\TORVIX\\" + CLX, "release_when": "C:\\TORVIX\\" + TLX,
              "release_after_ms": 700}),
    Road("located at the first try", ["ok", "ok", "file=C:\\Apps\\Host\\torvixx.exe", "ok"],
         [PROMPT, DIALOG, COMPLETE], host="C:\\Apps\\Host", installed="C:\\Apps\\Host",
         recorded="C:\\Apps\\Host", shipped=True),
    Road("a wrong folder first", ["ok", "ok", "file=C:\\Old\\torvixx2.exe", "ok",
                                  "file=C:\\Apps\\Host\\torvixx.exe", "ok"],
         [PROMPT, DIALOG, PROMPT, DIALOG, COMPLETE], host="C:\\Apps\\Host",
         files={"C:\\Old\\torvixx2.exe": b"MZ not the host"}, installed="C:\\Apps\\Host",
         recorded="C:\\Apps\\Host"),
    Road("cancel on the prompt", ["ok", "cancel"], [PROMPT], host=None),
    Road("a host at 40", ["ok", "ok"], [too_old("40")], version="40"),
    Road("a host whose version is unknown", ["ok", "ok"], [VERSION_UNKNOWN], version=None),
    Road("a host at 5, which sorts after 41", ["ok", "ok"], [COMPLETE], version="5",
         installed="C:\\TORVIX"),
    # WIN.INI's entry: empty (the root of the current drive), naming no folder, with a
    # trailing separator, naming a folder that does not exist.
    Road("an empty entry", ["ok", "ok"], [COMPLETE], host="C:", entry="", installed="C:"),
    Road("an entry of 256 characters", ["ok", "cancel"], [PROMPT], entry="C:\\" + "x" * 253),
    Road("an entry with a trailing separator", ["ok", "ok"], [COMPLETE], entry="C:\\TORVIX\\",
         installed="C:\\TORVIX"),
    Road("an entry naming no folder", ["ok", "ok", *LOCATE], [PROMPT, DIALOG, COMPLETE],
         entry="C:\\Nowhere", installed="C:\\TORVIX", recorded="C:\\TORVIX"),
    # Wine's ANSI file functions take paths of up to 260 characters (Windows: 259). At
    # 246 the settings file's path has 257: read whole, not cut to 256. At 248 every path
    # still fits, the temporary file's too. At 249 the host program's does not: no host.
    Road("a host folder of 246 characters", ["ok", "ok"], [COMPLETE], host=long_folder(246),
         entry=long_folder(246), installed=long_folder(246)),
    Road("a host folder of 248 characters over old files", ["ok", "ok"], [COMPLETE],
         host=long_folder(248), entry=long_folder(248), installed=long_folder(248),
         files={long_folder(248) + "\\" + n: b"old bytes" for n in (TLX, CLX)}),
    Road("a host folder of 249 characters", ["ok", "cancel"], [PROMPT], host=long_folder(249),
         entry=long_folder(249)),
    Road("a host program that is a folder", ["ok", "cancel"], [PROMPT], host=None,
         folders=("C:\\TORVIX\\torvixx.exe",),
         files={"C:\\TORVIX\\torvix.ini": "[Common]\r\nVersion=45\r\n"}),
    Road("a host program stamped 1975", ["ok", "ok"], [COMPLETE], installed="C:\\TORVIX",
         host_stamp=157766400),
]


class EndToEnd(WineCase):
    def walk(self, _, road):
        prefix = self.new_prefix(road.timezone)
        if road.host is not None:
            prefix.add_host(road.host, road.version)
        if road.host_stamp is not None:
            os.utime(prefix.path(road.host + "\\torvixx.exe"), (road.host_stamp,) * 2)
        for folder in road.folders:
            os.makedirs(prefix.path(folder))
        for path, data in road.files.items():
            prefix.write(path, data)
        if road.entry is not None:
            prefix.set_host_entry(road.entry)
        before, win_ini = prefix.files(), self.read(prefix.win_ini)
        started = time.monotonic()

        shown, _ = prefix.run(*road.answers, **road.run)

        self.assertLess(time.monotonic() - started, road.within or 60)
        self.assertEqual(shown, [CONFIRM] + road.boxes)
        expected = dict(before)
        if road.installed is not None:
            self.assert_installed(prefix, road.installed, road.offset, road.written)
            expected.update({road.installed + "\\" + n: len(payload_bytes(n))
                             for n in road.written})
        self.assertEqual(prefix.files(), expected, "nothing else changed, anywhere")
        if road.recorded is None:
            self.assertEqual(self.read(prefix.win_ini), win_ini, "WIN.INI left alone")
        else:
            self.assertIn(f"[Applications]\r\nTorvix={road.recorded}\r\n",
                          self.read(prefix.win_ini).decode("cp1252"))

    def test_a_signed_installer(self):
        # Signed as make dist signs, with a throwaway certificate: the damage check passes.
        prefix = self.new_prefix(host=True)
        with tempfile.TemporaryDirectory() as keys:
            key, cert = os.path.join(keys, "key.pem"), os.path.join(keys, "cert.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                            key, "-out", cert, "-days", "30", "-subj", "/CN=Test Publisher"],
                           check=True, capture_output=True)
            subprocess.run(["osslsigncode", "sign", "-h", "sha256", "-n", "Setup", "-certs", cert,
                            "-key", key, "-in", wine.SETUP_EXE, "-out",
                            os.path.join(keys, "signed.exe")], check=True, capture_output=True)
            signed = self.read(os.path.join(keys, "signed.exe"))
        self.assertGreater(len(signed), os.path.getsize(wine.SETUP_EXE))
        prefix.write("C:\\setup.exe", signed)

        self.assertEqual(prefix.run("ok", "ok")[0], [CONFIRM, COMPLETE])
        self.assert_installed(prefix, "C:\\TORVIX")
        self.assertEqual(prefix.listing("C:\\TORVIX"), sorted(HOST_FILES + [TLX, CLX]))


# Emulated, the shipped rows show the boxes and the dialog of the 32-bit image.
one_test_per_row(EndToEnd, "walk", [(road.what, road) for road in ROADS],
                 *(road.what for road in ROADS if road.shipped), prefix="test_")
