"""How the sources are configured and built for Windows, with make's settings (DICTIONARY,
VENDOR_SITE, COMPANY_NAME) from the environment; the resource-set generator holds the
defaults."""

import hashlib
import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOLCHAINS = {32: "i686-w64-mingw32.cmake", 64: "x86_64-w64-mingw32.cmake"}
DEFAULT_DIST = os.path.join(ROOT, "dist")


def job_server(env):
    """The file descriptors of the job server of the make that runs this build (by the
    MAKEFLAGS of env), when it has one and they are open here; None otherwise."""
    found = re.search(r"--jobserver-auth=(\d+),(\d+)", env.get("MAKEFLAGS", ""))
    descriptors = tuple(int(number) for number in found.groups()) if found else ()
    try:
        for descriptor in descriptors:
            os.fstat(descriptor)
    except OSError:
        return None
    return descriptors or None


def run_parallel(command, env, **options):
    """Runs a command that runs make: with its share of the job server of the make above,
    where there is one; otherwise with two jobs, for two cores."""
    server = job_server(env)
    if server:
        return subprocess.run(command, env=env, pass_fds=server, **options)
    env = {k: v for k, v in env.items() if k not in ("MAKEFLAGS", "MFLAGS")}
    return subprocess.run([*command, "-j2"], env=env, **options)


def dictionary_folder():
    return os.path.abspath(os.environ.get("DICTIONARY") or
                           os.path.join(ROOT, "resources", "payload"))


def dist_folder():
    return os.path.abspath(os.environ.get("DIST") or DEFAULT_DIST)


def build_folder(dist, bits=32):
    """build/win32 (or win64) for dist, else a folder named by a digest of dist's path, so
    that builds into different folders can run at the same time."""
    if dist == DEFAULT_DIST:
        return os.path.join(ROOT, "build", f"win{bits}")
    digest = hashlib.sha256(dist.encode("utf-8", "surrogateescape")).hexdigest()[:16]
    return os.path.join(ROOT, "build", f"dist{'' if bits == 32 else bits}-{digest}")


def settings_env():
    """The settings given to make, in the variables the resource-set generator reads."""
    env = dict(os.environ)
    for setting in ("VENDOR_SITE", "COMPANY_NAME"):
        env.pop(f"SETUP_{setting}", None)
        if os.environ.get(setting):
            env[f"SETUP_{setting}"] = os.environ[setting]
    return env


def configure(folder, bits=32, dictionary=None, env=None, source=ROOT):
    """Configures the build folder of the sources in source (this checkout's by default) for
    Windows (32- or 64-bit) with the dictionary; None when done, else the failed process."""
    result = subprocess.run(
        ["cmake", "--no-warn-unused-cli", "-S", source, "-B", folder,
         f"-DCMAKE_TOOLCHAIN_FILE={os.path.join(source, 'cmake', TOOLCHAINS[bits])}",
         "-DCMAKE_BUILD_TYPE=MinSizeRel", f"-DDICTIONARY={dictionary or dictionary_folder()}",
         # This Python, named: CMake then searches for none (cmake/windows_installer.cmake).
         f"-DPython3_EXECUTABLE={sys.executable}"],
        env=env or settings_env(), stdout=subprocess.DEVNULL)
    return result if result.returncode else None


def build_targets(folder, *targets, env=None, quiet=False):
    """Builds the targets (all when none are named) in a configured build folder."""
    command = ["cmake", "--build", folder, *(["--target", *targets] if targets else [])]
    return run_parallel(command, env or settings_env(),
                        stdout=subprocess.DEVNULL if quiet else None)


def build(folder, *targets, bits=32, dictionary=None, quiet=True, source=ROOT, env=None):
    """Configures and builds; raises CalledProcessError when either fails."""
    failed = configure(folder, bits, dictionary, env, source)
    if failed:
        failed.check_returncode()
    build_targets(folder, *targets, env=env, quiet=quiet).check_returncode()


def copy_tracked(folder, new_files=False):
    """Copies the files git tracks (and new ones it does not ignore) into folder, as now."""
    more = ["--others", "--exclude-standard"] if new_files else []
    listing = subprocess.run(["git", "-C", ROOT, "ls-files", "-z", "--cached", *more],
                             capture_output=True, check=True).stdout.decode()
    for name in filter(None, listing.split("\0")):
        if not os.path.isfile(os.path.join(ROOT, name)):
            continue  # removed from the working tree
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        shutil.copy2(os.path.join(ROOT, name), os.path.join(folder, name))
