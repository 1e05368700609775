"""What the build checks (and the README-commands test) share: the checkout's top, a
publisher's environment and make, another dictionary, and stand-in programs."""

import os
import pathlib
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
PAYLOAD = os.path.join(ROOT, "resources", "payload")

# What a make that runs these tests hands down (its settings, its job server): a
# publisher's shell has none of it.
INHERITED = ("SIGN_", "SOURCE_DATE", "MAKEFLAGS", "MFLAGS", "MAKELEVEL", "SETUP", "DIST",
             "DICTIONARY", "VENDOR_SITE", "COMPANY_NAME", "DISPLAY")
PUBLISHER_ENV = {k: v for k, v in os.environ.items() if not k.startswith(INHERITED)}


def make(target, **settings):
    """`make TARGET` with the settings on its command line, as a publisher types it."""
    return ["make", "-s", "-C", ROOT, target] + [f"{k}={v}" for k, v in settings.items()]


def make_dist(**settings):
    """Runs `make dist` with the settings on its command line, as a publisher would; with no
    standard input and no terminal, so that a tool that would prompt fails instead."""
    return subprocess.run(make("dist", **settings), capture_output=True, text=True,
                          env=PUBLISHER_ENV, stdin=subprocess.DEVNULL, start_new_session=True,
                          timeout=600)


def read(path):
    return pathlib.Path(path).read_bytes()


def dictionary(folder, language, extra_file=None):
    """This build's dictionary under another language name, with one more file."""
    os.makedirs(folder)
    for name in ("LXWEPB.TLX", "LXWEPB2.CLX"):
        shutil.copy(os.path.join(PAYLOAD, name), folder)
    lines = [f"language\t{language}", "file\tLXWEPB.TLX\t1997-01-06 13:44:46",
             "file\tLXWEPB2.CLX\t1999-11-30 17:04:48"]
    if extra_file:
        pathlib.Path(folder, extra_file).write_bytes(language.encode() * 100)
        lines.append(f"file\t{extra_file}\t2020-02-02 20:20:20")
    pathlib.Path(folder, "manifest.txt").write_text("\n".join(lines) + "\n", encoding="utf-8")


def write_stand_ins(folder, scripts):
    """Writes each name's text into folder as an executable; returns the folder."""
    os.makedirs(folder, exist_ok=True)
    for name, text in scripts.items():
        path = os.path.join(folder, name)
        pathlib.Path(path).write_text(text)
        os.chmod(path, 0o755)
    return folder
