"""The README's commands as a newcomer runs them, on fresh clones with nothing built
(sharing the user's caches): `make demo`, `make inspect`, `make screenshots`, and `make
demo` of another dictionary into another output folder."""

import os
import pathlib
import subprocess
import sys
import tempfile

import wine

sys.path.insert(0, os.path.join(wine.ROOT, "tests", "build"))
from support import INHERITED, dictionary  # noqa: E402  (what the build checks share)


def fresh_clone(scratch):
    """A clone of the committed tree in scratch, and the make a newcomer runs there."""
    folder = os.path.join(scratch, "setup")
    subprocess.run(["git", "clone", "-q", wine.ROOT, folder], check=True)
    # Nor the tests' own settings: a newcomer's shell has none of them.
    env = {k: v for k, v in os.environ.items()
           if k == "CCACHE_DIR" or not k.startswith(INHERITED + ("E2E_", "CCACHE_", "CMAKE_"))}
    env.update(CCACHE_BASEDIR=folder, CMAKE_C_COMPILER_LAUNCHER="ccache",
               CMAKE_CXX_COMPILER_LAUNCHER="ccache")

    def make(target, *settings):
        result = wine.run_through_files(["make", "-s", target, *settings], cwd=folder, env=env,
                                        stdin=subprocess.DEVNULL, timeout=600)
        return subprocess.CompletedProcess(result.args, result.returncode,
                                           result.stdout.decode(errors="replace"),
                                           result.stderr.decode(errors="replace"))
    return folder, make


def test_demo_inspect_and_screenshots_on_a_fresh_clone():
    with tempfile.TemporaryDirectory(prefix="fresh clone ") as scratch:
        folder, make = fresh_clone(scratch)
        demo = make("demo")
        assert demo.returncode == 0, demo.stdout + demo.stderr
        lines = [line.strip() for line in demo.stdout.splitlines()]
        assert "[box] Lexward Dictionary" in lines, demo.stdout
        assert ("Installation of Brazilian Portuguese dictionary for Lexward is about to begin."
                in lines), demo.stdout
        assert "[box] Setup Complete" in lines, demo.stdout
        ended = "setup.exe ended with exit status 0"
        assert ended in lines
        listing = [line.split() for line in lines[lines.index(ended):]]
        assert ["LXWEPB.TLX", "8,385", "bytes", "1997-01-06", "13:44:46"] in listing, demo.stdout
        assert ["LXWEPB2.CLX", "310,992", "bytes", "1999-11-30", "17:04:48"] in listing, demo.stdout
        assert "warning" not in demo.stderr.lower(), demo.stderr

        inspected = make("inspect")
        assert inspected.returncode == 0, inspected.stdout + inspected.stderr
        assert "LXWEPB.TLX" in inspected.stdout and "LXWEPB2.CLX" in inspected.stdout

        shots = os.path.join(folder, "docs", "screenshots")
        for name in os.listdir(shots):
            os.remove(os.path.join(shots, name))
        taken = make("screenshots")
        assert taken.returncode == 0, taken.stdout + taken.stderr
        assert sorted(os.listdir(shots)) == sorted(
            f"{name}.png" for name in ("confirm", "complete", "locate-prompt", "locate-dialog",
                                       "version-too-old", "version-unknown")), taken.stdout
        for name in os.listdir(shots):
            assert pathlib.Path(shots, name).read_bytes()[:8] == b"\x89PNG\r\n\x1a\n", name


def test_the_demo_of_another_dictionary_on_a_fresh_clone():
    """make demo DICTIONARY= DIST=: that folder's installer (or its 64-bit build, said in
    one line) carrying the other dictionary's files."""
    with tempfile.TemporaryDirectory(prefix="fresh clone ") as scratch:
        make = fresh_clone(scratch)[1]
        source = os.path.join(scratch, "demo dictionary")
        dictionary(source, "Demo", "DEMO.DIC")
        dist = os.path.join(scratch, "demo output")
        demo = make("demo", f"DICTIONARY={source}", f"DIST={dist}")
        assert demo.returncode == 0, demo.stdout + demo.stderr
        if "in place of" in demo.stdout:  # the 64-bit build, where 32-bit code cannot run
            assert f"in place of {dist}/setup.exe." in demo.stdout, demo.stdout
        else:
            assert f"Installer: {os.path.join(dist, 'setup.exe')}" in demo.stdout, demo.stdout
        assert "Installation of Demo dictionary for Lexward is about to begin." in demo.stdout
        assert "DEMO.DIC" in demo.stdout
