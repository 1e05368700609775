"""The emulated Wine's guards and its namespace, without the network: a stand-in
dpkg-query names the installed Wine, and a stand-in folder plays the prepared one (its
emulator is /bin/true, which binfmt_misc only has to open)."""

import os
import shutil
import subprocess
import tempfile

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(ROOT, "scripts", "emulated-wine.sh")
VERSION = "8.0~test"


def emulated_wine(scratch, *arguments, refuse_namespaces=False, cache=None):
    stand_ins = os.path.join(scratch, "bin")
    os.makedirs(stand_ins, exist_ok=True)
    scripts = {"dpkg-query": f"#!/bin/sh\necho '{VERSION}'\n"}
    if refuse_namespaces:
        scripts["unshare"] = "#!/bin/sh\necho 'unshare: Operation not permitted' >&2\nexit 1\n"
    for name, text in scripts.items():
        with open(os.path.join(stand_ins, name), "w") as out:
            out.write(text)
        os.chmod(os.path.join(stand_ins, name), 0o755)
    env = dict(os.environ, PATH=f"{stand_ins}:{os.environ['PATH']}",
               XDG_CACHE_HOME=cache or os.path.join(scratch, "cache"))
    env.pop("EMULATED_WINE", None)
    return subprocess.run([SCRIPT, *arguments], capture_output=True, text=True, env=env,
                          stdin=subprocess.DEVNULL, timeout=60)


def prepared_stand_in(scratch):
    """A folder as prepare leaves it, for the installed Wine of the stand-in."""
    folder = os.path.join(scratch, "cache", "torvix-dictionary-installer",
                          "emulated-wine-" + VERSION.replace("~", "_"))
    os.makedirs(os.path.join(folder, "root", "usr", "lib"))
    os.chmod(os.path.dirname(folder), 0o700)
    shutil.copy("/bin/true", os.path.join(folder, "qemu-i386"))
    with open(os.path.join(folder, "versions"), "w") as versions:
        versions.write(f"wine32 {VERSION} i386\nwine64 {VERSION}\n")
    return folder


def another_users(scratch):
    if os.getuid() != 0:
        pytest.skip("only root can give a folder to another user")
    theirs = os.path.join(scratch, "theirs")
    os.mkdir(theirs)
    os.chown(theirs, 65534, 65534)
    return os.path.join(theirs, "cache")


def open_to_all(scratch):
    shared = os.path.join(scratch, "shared")
    os.mkdir(shared)
    os.chmod(shared, 0o777)
    return os.path.join(shared, "cache")


@pytest.mark.parametrize("cache, says", [
    (open_to_all, "is writable by others (mode 777); run chmod go-w on it"),
    (another_users, "belongs to user 65534; remove it or set XDG_CACHE_HOME"),
], ids=["a folder others can write", "another user's folder"])
def test_a_cache_others_could_change_is_refused(cache, says):
    # Before anything is fetched or run from it.
    with tempfile.TemporaryDirectory() as scratch:
        result = emulated_wine(scratch, "prepare", cache=cache(scratch))
        assert result.returncode == 1, result
        assert says in result.stderr and result.stdout == "", result


@pytest.mark.parametrize("prepared, refuse_namespaces, status, says", [
    (False, False, 1, "run scripts/emulated-wine.sh prepare"),
    (True, True, 77, "refuses user namespaces: the shipped 32-bit image is not run (skipped)"),
], ids=["not prepared", "user namespaces refused"])
def test_run_without_what_it_needs(prepared, refuse_namespaces, status, says):
    with tempfile.TemporaryDirectory() as scratch:
        if prepared:
            prepared_stand_in(scratch)
        result = emulated_wine(scratch, "run", "true", refuse_namespaces=refuse_namespaces)
        assert result.returncode == status, result
        assert says in result.stderr and len(result.stderr.splitlines()) == 1, result


def test_the_handler_is_registered_in_the_namespace_only():
    if subprocess.run(["unshare", "--user", "--map-root-user", "--mount", "true"],
                      capture_output=True).returncode != 0:
        pytest.skip("this machine refuses user namespaces")
    with tempfile.TemporaryDirectory() as scratch:
        folder = prepared_stand_in(scratch)
        probe = os.path.join(ROOT, "scripts", "runs-32-bit-code.sh")
        result = emulated_wine(scratch, "run", "sh", "-c",
                               f'cat /proc/sys/fs/binfmt_misc/torvix-i386; echo "$EMULATED_WINE"; '
                               f'{probe} || echo "not native"')
        assert result.returncode == 0, result
        lines = result.stdout.splitlines()
        assert lines[:3] == ["enabled", f"interpreter {folder}/qemu-i386", "flags: F"], lines
        assert lines[-2:] == [folder, "not native"], "the probe sees the emulator"
    assert not os.path.exists("/proc/sys/fs/binfmt_misc/torvix-i386"), "left outside"
