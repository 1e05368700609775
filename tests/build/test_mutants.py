"""The sweep's kept mutants still apply exactly where they were made: one that moved onto
other code would prove nothing. `make sweep` runs them."""

import glob
import os
import subprocess

import pytest

from support import ROOT
MUTANTS = sorted(glob.glob(os.path.join(ROOT, "tests", "sweep", "mutants", "*.patch")))


@pytest.mark.parametrize("patch", MUTANTS, ids=os.path.basename)
def test_the_mutant_applies_exactly(patch):
    with open(patch, "rb") as diff:
        applied = subprocess.run(["patch", "-p1", "--fuzz=0", "--dry-run", "-s"], cwd=ROOT,
                                 stdin=diff, capture_output=True)
    assert applied.returncode == 0, (applied.stdout + applied.stderr).decode()
    with open(patch) as text:
        assert not text.readline().startswith("---"), "its first line says what it breaks"
