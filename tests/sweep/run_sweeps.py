#!/usr/bin/env python3
"""`make sweep`: the sweeps for this build's payload and one of 255 files, and the kept
mutants (mutants/*.patch) on copies of the sources, each of which they must catch."""

import glob
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from cmake_build import copy_tracked, run_parallel  # noqa: E402
PAYLOADS = (2, 255)
LINE = re.compile(r"^sweep \((\d+) files\): (\d+) fault runs, (\d+) crash states \((\d+) disk "
                  r"images\), (\d+) lost or torn, (\d+) left behind$")


def build(source, folder):
    """The sweep of the sources in source, optimized, without sanitizers, through ccache."""
    env = dict(os.environ)
    if shutil.which("ccache"):
        env.update(CCACHE_BASEDIR=source, CMAKE_CXX_COMPILER_LAUNCHER="ccache")
    subprocess.run(["cmake", "-S", source, "-B", folder, "-DCMAKE_BUILD_TYPE=Release",
                    "-DWITH_SANITIZERS=OFF", f"-DPython3_EXECUTABLE={sys.executable}"],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    run_parallel(["cmake", "--build", folder, "--target", "sweep"], env,
                 stdout=subprocess.DEVNULL).check_returncode()
    return os.path.join(folder, "sweep")


def sweep(harness, files, *options):
    result = subprocess.run([harness, "--files", str(files), *options], capture_output=True,
                            text=True)
    return result.returncode, result.stdout


def mutated_tree(patch, scratch):
    """A copy of the checkout's sources (tracked and new files) with the patch applied."""
    tree = os.path.join(scratch, "tree")
    copy_tracked(tree, new_files=True)
    # Exactly: no fuzz, so that an edit near a mutated line never moves the mutant onto
    # other code (an offset, lines added above it, is fine).
    with open(patch, "rb") as diff:
        applied = subprocess.run(["patch", "-s", "-p1", "--fuzz=0", "--no-backup-if-mismatch",
                                  "-r", "-"], cwd=tree, stdin=diff, capture_output=True)
    if applied.returncode != 0:
        sys.exit(f"error: the mutant {os.path.basename(patch)} no longer applies exactly "
                 f"({applied.stdout.decode().strip() or applied.stderr.decode().strip()}); "
                 "make it again against the sources as they are")
    return tree


def main():
    harness = build(ROOT, os.path.join(ROOT, "build", "sweep"))
    tallies = {}
    failed = False
    for files in PAYLOADS:
        status, output = sweep(harness, files)
        tallies[files] = LINE.match(output.splitlines()[0]).groups()
        if status != 0:
            failed = True
            print(output, end="")
    patches = sorted(glob.glob(os.path.join(HERE, "mutants", "*.patch")))
    caught = {files: 0 for files in PAYLOADS}
    for patch in patches:
        with tempfile.TemporaryDirectory(prefix="mutant-") as scratch:
            mutant = build(mutated_tree(patch, scratch), os.path.join(scratch, "build"))
            for files in PAYLOADS:
                # A mutant is caught at its first failed check.
                status, output = sweep(mutant, files, "--stop-at-first")
                if status == 1:
                    caught[files] += 1
                else:
                    failed = True
                    breaks = pathlib.Path(patch).read_text().split("\n", 1)[0].strip()
                    print(f"mutant {os.path.basename(patch)} ({breaks}) survived the sweep of "
                          f"{files} files")
    for files in PAYLOADS:
        _, fault_runs, states, images, lost, left = tallies[files]
        print(f"sweep ({files} files): {fault_runs} fault runs, {states} crash states ({images} "
              f"disk images), {lost} lost or torn, {left} left behind, "
              f"{caught[files]}/{len(patches)} mutants caught")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
