"""The emulated Wine's guards and namespace, without the network: stand-ins of dpkg-query
and of the prepared folder (whose emulator is /bin/true, which binfmt_misc only opens)."""

import os
import pathlib
import shutil
import subprocess
import tempfile

import pytest

from support import ROOT, write_stand_ins

SCRIPT = os.path.join(ROOT, "scripts", "emulated-wine.sh")
VERSION = "8.0~test"
REFUSED = "#!/bin/sh\necho 'unshare: Operation not permitted' >&2\nexit 1\n"


def emulated_wine(scratch, *arguments, cache=None, stand_ins=()):
    scripts = {"dpkg-query": f"#!/bin/sh\necho '{VERSION}'\n", **dict(stand_ins)}
    bin_folder = write_stand_ins(os.path.join(scratch, "bin"), scripts)
    env = dict(os.environ, PATH=f"{bin_folder}:{os.environ['PATH']}",
               XDG_CACHE_HOME=cache or os.path.join(scratch, "cache"))
    env.pop("EMULATED_WINE", None)
    return subprocess.run([SCRIPT, *arguments], capture_output=True, text=True, env=env,
                          stdin=subprocess.DEVNULL, timeout=60)


def folder_in(scratch):
    return os.path.join(scratch, "cache", "torvix-dictionary-installer",
                        "emulated-wine-" + VERSION.replace("~", "_"))


def prepared(scratch):
    """A folder as prepare leaves it for the stand-in's Wine, in cache (None: the default)."""
    folder = folder_in(scratch)
    os.makedirs(os.path.join(folder, "root", "usr", "lib"))
    os.chmod(os.path.dirname(folder), 0o700)
    shutil.copy("/bin/true", os.path.join(folder, "qemu-i386"))
    pathlib.Path(folder, "versions").write_text(f"wine32 {VERSION} i386\nwine64 {VERSION}\n")


def open_to_all(scratch):
    os.mkdir(os.path.join(scratch, "shared"))
    os.chmod(os.path.join(scratch, "shared"), 0o777)
    return os.path.join(scratch, "shared", "cache")


def another_users(scratch):
    if os.getuid() != 0:
        pytest.skip("only root can give a folder to another user")
    os.mkdir(os.path.join(scratch, "theirs"))
    os.chown(os.path.join(scratch, "theirs"), 65534, 65534)
    return os.path.join(scratch, "theirs", "cache")


# Nothing is fetched from or run in a cache that others could change; a run says in one
# line what it lacks.
@pytest.mark.parametrize("command, set_up, stand_ins, status, says", [
    ("prepare", open_to_all, (), 1, "is writable by others (mode 777); run chmod go-w on it"),
    ("prepare", another_users, (), 1, "belongs to user 65534; remove it or set XDG_CACHE_HOME"),
    ("cache", open_to_all, (), 1, "is writable by others (mode 777); run chmod go-w on it"),
    ("run", lambda scratch: None, (), 1, "run scripts/emulated-wine.sh prepare"),
    ("run", prepared, {"unshare": REFUSED}, 77,
     "refuses user namespaces: the shipped 32-bit image is not run (skipped)"),
], ids=["a cache others can write", "another user's cache", "the cache alone, open to all",
        "not prepared", "user namespaces refused"])
def test_what_it_refuses(command, set_up, stand_ins, status, says):
    with tempfile.TemporaryDirectory() as scratch:
        cache = set_up(scratch)
        result = emulated_wine(scratch, command, "true", cache=cache, stand_ins=stand_ins)
        assert result.returncode == status, result
        assert says in result.stderr and len(result.stderr.splitlines()) == 1, result
        assert result.stdout == "", result


def test_the_handler_is_registered_in_the_namespace_only():
    if subprocess.run(["unshare", "--user", "--map-root-user", "--mount", "true"],
                      capture_output=True).returncode != 0:
        pytest.skip("this machine refuses user namespaces")
    with tempfile.TemporaryDirectory() as scratch:
        prepared(scratch)
        folder = folder_in(scratch)
        probe = os.path.join(ROOT, "scripts", "runs-32-bit-code.sh")
        result = emulated_wine(scratch, "run", "sh", "-c",
                               f'cat /proc/sys/fs/binfmt_misc/torvix-i386; echo "$EMULATED_WINE"; '
                               f'{probe} || echo "not native"')
        assert result.returncode == 0, result
        lines = result.stdout.splitlines()
        assert lines[:3] == ["enabled", f"interpreter {folder}/qemu-i386", "flags: F"], lines
        assert lines[-2:] == [folder, "not native"], "the probe sees the emulator"
    assert not os.path.exists("/proc/sys/fs/binfmt_misc/torvix-i386"), "left outside"
