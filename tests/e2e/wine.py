"""Runs the real setup.exe under Wine on a virtual display, one throwaway Wine prefix
per run, and answers its windows through the driver (driver.c).

Paths come from the environment: SETUP_EXE (the installer), E2E_DRIVER (the
driver), E2E_WORK (a scratch folder that keeps the prepared prefix between runs).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "scripts"))  # the PE reader lives there
SETUP_EXE = os.environ.get("SETUP_EXE", os.path.join(ROOT, "dist", "setup.exe"))
DRIVER_EXE = os.environ.get("E2E_DRIVER", os.path.join(ROOT, "build", "win32", "e2e_driver.exe"))
MARKER_DLL = os.environ.get("E2E_MARKER", os.path.join(ROOT, "build", "win32", "e2e_marker.dll"))
WORK = os.environ.get("E2E_WORK", os.path.join(ROOT, "build", "e2e"))

BASE_ENV = {
    "WINEDEBUG": "-all",
    # No offer to download Wine's .NET and HTML add-ons: there is no network, and on a
    # display the offer would wait for a click.
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
}
# Files of a prepared prefix that Wine never changes: shared by hard links.
SHARED_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".ocx", ".acm", ".cpl", ".tlb", ".ax",
                   ".ds", ".nls", ".ttf", ".fon", ".mui", ".msstyles", ".efi", ".com")


def wine_env(**extra):
    env = dict(os.environ)
    env.update(BASE_ENV)
    env.update(extra)
    return env


class Display:
    """An Xvfb display of our own for the whole test run."""

    def __init__(self):
        number = 90
        while os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
            number += 1
        self.name = f":{number}"
        self.process = subprocess.Popen(
            ["Xvfb", self.name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{number}"):
                return
            time.sleep(0.05)
        raise RuntimeError("Xvfb did not start")

    def close(self):
        self.process.terminate()
        self.process.wait()


def wine_version():
    return subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()


def prepared_prefix():
    """A prefix made once and kept in WORK until Wine's version changes."""
    template = os.path.join(WORK, "prefix-template")
    marker = os.path.join(template, ".prepared-for")
    version = wine_version()
    if os.path.exists(marker):
        with open(marker) as prepared:
            if prepared.read() == version:
                return template
    shutil.rmtree(template, ignore_errors=True)
    os.makedirs(WORK, exist_ok=True)
    env = wine_env(WINEPREFIX=template)
    env.pop("DISPLAY", None)
    subprocess.run(["wineboot", "-i"], env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300)
    subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=120)
    with open(marker, "w") as out:
        out.write(version)
    return template


def clone_prefix(template, target):
    """A private copy: large program files are hard-linked, everything else copied."""
    for folder, dirs, files in os.walk(template):
        relative = os.path.relpath(folder, template)
        destination = os.path.join(target, relative)
        os.makedirs(destination, exist_ok=True)
        for name in list(dirs):
            source = os.path.join(folder, name)
            if os.path.islink(source):
                os.symlink(os.readlink(source), os.path.join(destination, name))
                dirs.remove(name)
        for name in files:
            source = os.path.join(folder, name)
            copy = os.path.join(destination, name)
            if os.path.islink(source):
                os.symlink(os.readlink(source), copy)
            elif name.lower().endswith(SHARED_SUFFIXES):
                os.link(source, copy)
            else:
                shutil.copy2(source, copy)


class Prefix:
    """One throwaway Wine prefix: its C: drive, its WIN.INI, and runs of the installer."""

    def __init__(self, display, timezone="UTC"):
        template = prepared_prefix()
        self.root = tempfile.mkdtemp(prefix="prefix-", dir=WORK)
        clone_prefix(template, self.root)
        self.env = wine_env(WINEPREFIX=self.root, DISPLAY=display.name, TZ=timezone)
        shutil.copy(SETUP_EXE, self.path("C:\\setup.exe"))

    def path(self, windows_path):
        """The Linux path of a C: path."""
        assert windows_path[:3].upper() == "C:\\", windows_path
        parts = [p for p in windows_path[3:].split("\\") if p]
        return os.path.join(self.root, "drive_c", *parts)

    @property
    def win_ini(self):
        return self.path("C:\\windows\\win.ini")

    def write(self, windows_path, data):
        path = self.path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data if isinstance(data, bytes) else data.encode("cp1252"))
        return path

    def add_host(self, folder="C:\\TORVIX", version="45"):
        self.write(folder + "\\torvixx.exe", b"MZ stand-in host program")
        if version is not None:
            self.write(folder + "\\torvix.ini", f"[Common]\r\nVersion={version}\r\n")

    def set_host_entry(self, value):
        """Writes the WIN.INI entry that names the host's folder."""
        with open(self.win_ini, "ab") as out:
            out.write(b"\r\n[Applications]\r\nTorvix=" + value.encode("cp1252") + b"\r\n")

    def map_drive(self, letter, folder):
        """Makes a Linux folder the Wine drive letter:."""
        link = os.path.join(self.root, "dosdevices", letter.lower() + ":")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(folder, link)

    def files(self):
        """Every file of drive C: outside Wine's own folders, with its bytes' size."""
        found = {}
        drive = os.path.join(self.root, "drive_c")
        for folder, dirs, names in os.walk(drive):
            if folder == drive:
                dirs[:] = [d for d in dirs if d not in ("windows", "users", "ProgramData",
                                                        "Program Files", "Program Files (x86)")]
            for name in names:
                path = os.path.join(folder, name)
                found["C:\\" + os.path.relpath(path, drive).replace("/", "\\")] = \
                    os.path.getsize(path)
        return found

    def listing(self, windows_path):
        return sorted(os.listdir(self.path(windows_path)))

    def run(self, *answers, hold=None, timeout=60, shots=None, program="C:\\setup.exe",
            workdir=None, winedebug=None, wrapper=()):
        """Runs the installer, answering its windows in order. Returns the driver's
        lines without the trailing EXIT line, and the exit status (None if missing).
        workdir is the installer's working folder (by default the driver's, C:\\);
        winedebug sets Wine's debug channels for the run, whose output is then kept in
        self.trace. wrapper goes in front of the command (strace, say)."""
        command = [*wrapper, "wine", DRIVER_EXE, "--timeout", str(timeout)]
        if hold:
            command += ["--hold", hold]
        if shots:
            command += ["--shots", shots]
        if workdir:
            command += ["--cwd", workdir]
        command += [program, *answers]
        env = dict(self.env)
        if winedebug:
            env["WINEDEBUG"] = winedebug
        result = subprocess.run(command, env=env, capture_output=True, timeout=timeout + 60,
                                cwd=self.path("C:\\"))
        self.trace = result.stderr.decode("utf-8", "replace")
        lines = result.stdout.decode("cp1252").splitlines()
        status = None
        if lines and lines[-1].startswith("EXIT\t"):
            status = int(lines.pop().split("\t")[1])
        return [tuple(line.split("\t")) for line in lines], status

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(self.root, ignore_errors=True)
