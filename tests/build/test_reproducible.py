"""Two builds of the same sources in different folders give the same setup.exe, byte
for byte: no time stamp and no build path inside. And the executable needs no DLL that
a clean Windows lacks: it imports kernel32 and msvcrt only, and loads the rest from the
system folder itself."""

import os
import shutil
import subprocess
import tempfile
import unittest

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def tracked_files():
    listing = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, capture_output=True,
                             check=True).stdout.decode()
    return [name for name in listing.split("\0") if name]


def run(command):
    # Compiled afresh in each folder, never taken from a compiler cache.
    env = {k: v for k, v in os.environ.items() if "COMPILER_LAUNCHER" not in k}
    result = subprocess.run(command, capture_output=True, text=True, env=env)
    if result.returncode != 0:
        raise AssertionError(f"{' '.join(command)} failed:\n{result.stdout}{result.stderr}")


def build(source):
    build_dir = os.path.join(source, "build")
    run(["cmake", "-S", source, "-B", build_dir,
         f"-DCMAKE_TOOLCHAIN_FILE={source}/cmake/i686-w64-mingw32.cmake",
         "-DCMAKE_BUILD_TYPE=MinSizeRel"])
    run(["cmake", "--build", build_dir, "--target", "setup", "-j2"])
    with open(os.path.join(build_dir, "setup.exe"), "rb") as exe:
        return exe.read()


class Reproducible(unittest.TestCase):
    def test_two_folders_give_the_same_bytes(self):
        with tempfile.TemporaryDirectory() as scratch:
            folders = [os.path.join(scratch, "a"),
                       os.path.join(scratch, "a much longer folder name", "with", "depth")]
            images = []
            for folder in folders:
                for name in tracked_files():
                    target = os.path.join(folder, name)
                    os.makedirs(os.path.dirname(target), exist_ok=True)
                    shutil.copy2(os.path.join(ROOT, name), target)
                images.append(build(folder))

            self.assertEqual(images[0], images[1])
            for folder in folders:
                self.assertNotIn(folder.encode(), images[0])
                self.assertNotIn(scratch.encode(), images[0])

            pe = pefile.PE(data=images[0])
            self.assertEqual(pe.FILE_HEADER.TimeDateStamp, 0, "PE time stamp")
            self.assertEqual({entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT},
                             {"kernel32.dll", "msvcrt.dll"})
            self.assertTrue(pe.OPTIONAL_HEADER.IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE)
            with open(os.path.join(folders[0], "build", "generated",
                                   "setup.min.manifest")) as source:
                manifest = source.read()
            self.assertIn("<dpiAwareness", manifest)
            self.assertIn('level="requireAdministrator"', manifest)


if __name__ == "__main__":
    unittest.main()
