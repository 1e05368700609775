"""What the end-to-end tests share: the boxes, the payload, and a test case that checks
after every run what must hold after any: exit status 0, no temporary name left."""

import calendar
import os
import pathlib
import re
import sys
import unittest

import pytest

import wine

sys.path.insert(0, os.path.join(wine.ROOT, "resources"))
import cpp_texts  # noqa: E402  (what the build reads of the C++ headers)

import payload_resources  # noqa: E402  (the build settings' defaults)

PAYLOAD = os.path.join(wine.ROOT, "resources", "payload")
# The installer's texts and its host's facts, as the build reads them from the C++ headers.
MESSAGES = cpp_texts.texts("src/common/messages.h")
FACTS = cpp_texts.texts("src/common/host_facts.h")
SITE = payload_resources.DEFAULT_VENDOR_SITE


def as_shown(text):
    """A message as the driver prints it: each carriage return as the two characters \\r."""
    return text.replace("\r", "\\r")


CONFIRM = ("BOX", MESSAGES["kConfirmationCaption"],
           MESSAGES["kConfirmationOpening"] + "Brazilian Portuguese" +
           MESSAGES["kConfirmationClosing"], "okcancel", "none")
COMPLETE = ("BOX", MESSAGES["kCompletionCaption"],
            as_shown(MESSAGES["kCompletionOpening"] + MESSAGES["kCompletionWithLexicon"]), "ok",
            "none")
PROMPT = ("BOX", MESSAGES["kLocatePromptCaption"], MESSAGES["kLocatePrompt"], "okcancel", "none")
DIALOG = ("DIALOG", MESSAGES["kLocateDialogTitle"])
# Name, local time as stored.
PAYLOAD_FILES = [("LXWEPB.TLX", (1997, 1, 6, 13, 44, 46)),
                 ("LXWEPB2.CLX", (1999, 11, 30, 17, 4, 48))]
HOST_FILES = sorted([FACTS["kSettingsFile"], FACTS["kHostProgram"]])
TLX, CLX = (name for name, _ in PAYLOAD_FILES)
TEMPORARY_NAMES = cpp_texts.text_list("src/payload/temporary_names.h", "kTemporaryNames")
OLD_TIME = 915148800  # 1999-01-01, a stamp that is not the payload's


def payload_bytes(name):
    return pathlib.Path(PAYLOAD, name).read_bytes()


def error_box(caption, text):
    return ("BOX", caption, text, "ok", "error")


def entry_failed(name):
    """The box of a payload file that could not be put in place."""
    return error_box(MESSAGES["kEntryFailedCaption"], name + MESSAGES["kEntryFailed"])


def resource_fault(name, fault):
    """The box of a resource that is "not found", "malformed" or "damaged"."""
    return error_box(MESSAGES["kResourceCaption"],
                     MESSAGES["kResourceOpening"] + name + MESSAGES["kResourceNameEnd"] +
                     MESSAGES["kResource" + fault.title().replace(" ", "")] +
                     MESSAGES["kResourceClosing"])


def too_old(version):
    """The version gate's refusal of a host at that version."""
    return error_box(MESSAGES["kVersionCaption"],
                     as_shown(MESSAGES["kVersionTooOld"] + version +
                              MESSAGES["kVersionTooOldSite"] + SITE))


VERSION_UNKNOWN = error_box(MESSAGES["kVersionCaption"], as_shown(MESSAGES["kVersionUnknown"]))


def one_test_per_row(cls, check, rows, *shipped, prefix=None):
    """A test of cls for each row, named by its first field, that runs cls.check(self, *row);
    the rows named in shipped are marked shipped_image (run on the 32-bit image too)."""
    assert set(shipped) <= {row[0] for row in rows}, "a named row is not in the table"
    for row in rows:
        def test(self, row=row):
            getattr(self, check)(*row)
        if row[0] in shipped:
            test = pytest.mark.shipped_image(test)
        name = re.sub(r'[^0-9a-zA-Z]+', '_', row[0]).strip('_')
        setattr(cls, f"test_{check}__{name}" if prefix is None else prefix + name, test)


def temporaries(prefix):
    """Every entry under a temporary name of the installer's in the prefix, links included."""
    found = set()
    names = {name.lower() for name in TEMPORARY_NAMES}
    for folder, dirs, files in os.walk(prefix.root):
        if os.path.basename(folder) == "drive_c":
            dirs[:] = [d for d in dirs if d != "windows"]
        found |= {os.path.join(folder, n) for n in dirs + files if n.lower() in names}
    return found


class WineCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = wine.shared_display()

    def new_prefix(self, timezone="UTC", host=False):
        """A prefix for this test, with the sample host in C:\\TORVIX where host is true."""
        prefix = wine.take_prefix(self.display, timezone)
        self.addCleanup(prefix.release)
        if host:
            prefix.add_host()
        run = prefix.run

        def checked_run(*answers, **settings):
            before = temporaries(prefix)
            shown, status = run(*answers, **settings)
            self.assertEqual(status, 0, "the exit status")
            self.assertLessEqual(temporaries(prefix), before, "a temporary name left behind")
            return shown, status
        prefix.run = checked_run
        return prefix

    def read(self, path):
        return pathlib.Path(path).read_bytes()

    def assert_unchanged(self, path, data, stamp=OLD_TIME, tally=None):
        """The file holds data and stamp still; where not, its size goes into the tally first."""
        now = self.read(path) if os.path.exists(path) else None
        if tally and (now != data or os.stat(path).st_mtime != stamp):
            tally[0][tally[1]] += len(data)
        self.assertEqual(now, data, path)
        self.assertEqual(os.stat(path).st_mtime, stamp, path)

    def assert_installed(self, prefix, folder, utc_offset_seconds=0, names=None):
        """The payload's files (or those named) in folder, with their bytes and stamps."""
        for name, local in PAYLOAD_FILES:
            if names is not None and name not in names:
                continue
            path = prefix.path(folder + "\\" + name)
            self.assertEqual(self.read(path), payload_bytes(name), name)
            expected = calendar.timegm(local) - utc_offset_seconds
            self.assertEqual(os.stat(path).st_mtime, expected, name)
