"""The package step against a Debian mirror mid-sync, on kernels with and without 32-bit
code: stand-ins of apt-get, dpkg, sleep, sudo and the probe, never the network."""

import os
import pathlib
import shutil
import subprocess
import tempfile

import pytest

from support import ROOT, write_stand_ins

SCRIPT = os.path.join(ROOT, "scripts", "install-deps.sh")

MID_SYNC = ("E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/"
            "main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). "
            "Mirror sync in progress? [IP: 203.0.113.80 80]")
HELD = "E: Unable to correct problems, you have held broken packages."

STAND_INS = {
    # update fails as a mirror mid-sync does; install succeeds unless told to fail.
    "apt-get": f"""#!/bin/sh
echo "apt-get $*" >>"$CALLS"
case "$*" in
  *update*) echo "{MID_SYNC}" >&2
            echo "E: Some index files failed to download. They have been ignored." >&2
            exit 100 ;;
  *SourceParts=*) cat "$(echo "$*" | sed 's/.*SourceParts=\\([^ ]*\\).*/\\1/')"/* >>"$CALLS"
                  [ "$INSTALL_FAILS" = always ] || exit 0
                  echo "{HELD}" >&2; exit 100 ;;
  *install*) [ -z "$INSTALL_FAILS" ] && exit 0
             echo "Reading package lists..."
             echo " libcurl4:i386 : Depends: libssl3:i386 but it is not going to be installed"
             echo "{HELD}" >&2
             exit 100 ;;
esac
""",
    # Nothing is installed; the i386 architecture is there already.
    "dpkg": """#!/bin/sh
case "$1" in
  --print-foreign-architectures) echo i386 ;;
  -s) exit 1 ;;
esac
""",
    "sleep": "#!/bin/sh\necho \"sleep $*\" >>\"$CALLS\"\n",
    "sudo": "#!/bin/sh\nexec \"$@\"\n",
}


SOURCES = """Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
"""


def run_script(install_fails, native=True):
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "scripts", "install-deps.sh")
        os.mkdir(os.path.dirname(script))
        shutil.copy(SCRIPT, script)
        write_stand_ins(os.path.dirname(script), {
            "runs-32-bit-code.sh": f"#!/bin/sh\nexit {0 if native else 1}\n",
            "emulated-wine.sh": '#!/bin/sh\necho "emulated-wine.sh $*" >>"$CALLS"\n'})
        parts = os.path.join(folder, "sources.list.d")
        os.mkdir(parts)
        pathlib.Path(parts, "debian.sources").write_text(SOURCES)
        bin_folder = write_stand_ins(os.path.join(folder, "bin"), STAND_INS)
        calls = os.path.join(folder, "calls")
        env = dict(os.environ, PATH=f"{bin_folder}:{os.environ['PATH']}", CALLS=calls,
                   INSTALL_FAILS=install_fails, APT_SOURCE_PARTS=parts,
                   APT_SOURCE_LIST=os.path.join(folder, "none"))
        result = subprocess.run(["sh", script, "--test"], capture_output=True, text=True,
                                env=env, stdin=subprocess.DEVNULL, timeout=60)
        with open(calls) as recorded:
            return result, recorded.read().splitlines()


@pytest.mark.parametrize("install_fails, native", [
    ("", True), ("with the syncing suite", True), ("always", True), ("", False)],
    ids=["install works", "works without the syncing suite", "install fails",
         "a kernel without 32-bit code"])
def test_a_mirror_mid_sync(install_fails, native):
    result, calls = run_script(install_fails, native)
    output = (result.stdout + result.stderr).splitlines()
    updates = [call for call in calls if " update" in call]
    installs = [call for call in calls if " install" in call]
    assert len(updates) == 3, calls  # tried again, twice, a few seconds apart
    assert calls.count("sleep 5") == 2, calls
    # Then on with the lists there are; where that failed, without the incomplete suite.
    assert len(installs) == (1 if not install_fails else 2), calls
    assert "libgtest-dev" in installs[0]
    warning = [line for line in output if line.startswith("warning:")]
    assert "Mirror sync in progress?" in warning[0], output
    if install_fails:
        assert warning[1:] == ["warning: installing without bookworm-security, whose index is "
                               "incomplete"], output
        assert "Suites: bookworm bookworm-updates" in calls
        assert not any("security" in line for line in calls if not line.startswith("apt-get"))
    else:
        assert len(warning) == 1, output
    if install_fails != "always":
        assert result.returncode == 0, output
        assert len(output) <= 3, output
    else:
        assert result.returncode != 0
        assert len(output) <= 10, output
        error = "\n".join(output[output.index(warning[0]) + 1:])
        assert "could not install:" in error and "libgtest-dev" in error, error
        assert HELD in error, "the last line of apt's answer"
        assert "mirror" in error and "later" in error, error
    # 32-bit Wine from the packages; without 32-bit code, the emulated one after them.
    assert ("wine32:i386" in installs[0]) == native, installs
    emulated = [call for call in calls if call.startswith("emulated-wine.sh")]
    assert emulated == ([] if native else ["emulated-wine.sh prepare"]), calls
    if not install_fails:
        assert calls[-1] == (installs[0] if native else "emulated-wine.sh prepare"), calls
