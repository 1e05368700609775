"""What the end-to-end tests share: the boxes the installer shows, the payload's files,
and a test case that runs each test in a Wine prefix of its own (tests/e2e/wine.py).
It holds no test itself."""

import calendar
import os
import sys
import unittest

import wine

sys.path.insert(0, os.path.join(wine.ROOT, "resources"))
import cpp_texts  # noqa: E402  (what the build reads of the C++ headers)

PAYLOAD = os.path.join(wine.ROOT, "resources", "payload")
CONFIRM = ("BOX", "Lexward Dictionary",
           "Installation of Brazilian Portuguese dictionary for Lexward is about to begin.",
           "okcancel", "none")
COMPLETE = ("BOX", "Setup Complete",
            "Installation completed successfully.\\r\\rYou can select which dictionary should be "
            "used in Torvix in Options > Spell Checker > Options.", "ok", "none")
PROMPT = ("BOX", "Torvix not found in default folder",
          "Please locate the Torvix program (torvixx.exe)", "okcancel", "none")
DIALOG = ("DIALOG", "Locate Torvix Folder")
# Name, local time as stored.
PAYLOAD_FILES = [("LXWEPB.TLX", (1997, 1, 6, 13, 44, 46)),
                 ("LXWEPB2.CLX", (1999, 11, 30, 17, 4, 48))]
HOST_FILES = ["torvix.ini", "torvixx.exe"]
TEMPORARY_NAMES = cpp_texts.text_list("src/payload/temporary_names.h", "kTemporaryNames")


def payload_bytes(name):
    with open(os.path.join(PAYLOAD, name), "rb") as source:
        return source.read()


def error_box(caption, text):
    return ("BOX", caption, text, "ok", "error")


class WineCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        wine.require(wine.SETUP_EXE, "the installer")
        wine.require(wine.DRIVER_EXE, "the end-to-end driver")
        cls.display = wine.shared_display()

    def new_prefix(self, timezone="UTC"):
        prefix = wine.take_prefix(self.display, timezone)
        self.addCleanup(prefix.release)
        return prefix

    def read(self, path):
        with open(path, "rb") as source:
            return source.read()

    def assert_installed(self, prefix, folder, utc_offset_seconds=0):
        for name, local in PAYLOAD_FILES:
            path = prefix.path(folder + "\\" + name)
            self.assertEqual(self.read(path), payload_bytes(name), name)
            expected = calendar.timegm(local) - utc_offset_seconds
            self.assertEqual(os.stat(path).st_mtime, expected, name)
