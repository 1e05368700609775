"""Runs the real setup.exe under Wine on a virtual display, in throwaway prefixes, and
answers its windows through the driver (driver.c); `wine.py --build` builds the bench.
Which installer runs, and how, on each kind of machine: docs/testing.md."""

import atexit
import contextlib
import fcntl
import functools
import os
import pathlib
import select
import shutil
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "scripts"))  # the PE reader and the build live there
import cmake_build  # noqa: E402

EMULATED = bool(os.environ.get("EMULATED_WINE"))
# The tests' prefixes; under emulation beside the emulated Wine, never taken for a native one.
WORK = (os.path.join(os.environ["EMULATED_WINE"], "e2e") if EMULATED else
        os.environ.get("E2E_WORK", os.path.join(ROOT, "build", "e2e")))
WINE64_LOADER = "/usr/lib/wine/wine64"
BITS = 32 if EMULATED else int(os.environ.get("E2E_BITS") or (
    32 if subprocess.run([os.path.join(ROOT, "scripts", "runs-32-bit-code.sh")]).returncode == 0
    else 64))
BUILD = os.path.join(ROOT, "build", f"win{BITS}")
SETUP_EXE = (os.path.abspath(os.environ.get("SETUP") or
                             os.path.join(cmake_build.dist_folder(), "setup.exe"))
             if BITS == 32 else os.path.join(BUILD, "setup.exe"))
DRIVER_EXE = os.path.join(BUILD, "e2e_driver.exe")
DESKTOP_EXE = os.path.join(BUILD, "e2e_desktop.exe")
MARKER_DLL = os.path.join(BUILD, "e2e_marker.dll")
# The bench's own programs, beside the installer it runs.
BENCH_TARGETS = ("e2e_driver", "e2e_marker", "e2e_preload_probe", "e2e_desktop")
WINE = "wine"
if BITS == 64:
    # Debian's 64-bit Wine has no preloader: now and then a library lands on the shared user
    # data ("failed to map the shared user data"). With a fixed layout it never does.
    WINE = os.path.join(WORK, "wine64-fixed-layout")
    if not os.path.exists(WINE):
        os.makedirs(WORK, exist_ok=True)
        pathlib.Path(WINE + ".part").write_text(
            f'#!/bin/sh\nexec setarch x86_64 -R {WINE64_LOADER} "$@"\n')
        os.chmod(WINE + ".part", 0o755)
        os.replace(WINE + ".part", WINE)

BASE_ENV = {
    "WINEDEBUG": "-all",
    # No offer to download Wine's .NET and HTML add-ons (it would wait for a click), and
    # no menu builder (desktop entries for every prefix).
    "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
}
if BITS == 64:
    BASE_ENV["WINELOADER"] = WINE64_LOADER


def require(program, what):
    """Stops where a program the bench runs is missing (Wine would only say c0000135)."""
    if not os.path.isfile(program):
        raise SystemExit(f"error: {what} {program} is missing; build it with "
                         "`python3 scripts/wine/wine.py --build` (make test does)")


def shown(path):
    """A path as a message shows it: from the checkout's top when it is inside."""
    relative = os.path.relpath(path, ROOT)
    return path if relative.startswith("..") else relative


def is_32_bit_image(path):
    """Whether the Windows program at path is a 32-bit x86 one."""
    import pefile
    try:
        machine = pefile.PE(path, fast_load=True).FILE_HEADER.Machine
    except pefile.PEFormatError:
        return False
    return machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]


def run_again_emulated():
    """Without 32-bit code, runs this script again under the emulated Wine and ends with its
    status; returns where it cannot (E2E_BITS=64, a 64-bit SETUP, namespaces refused)."""
    if BITS == 32 or EMULATED or os.environ.get("E2E_BITS"):
        return
    if os.environ.get("SETUP") and not is_32_bit_image(os.environ["SETUP"]):
        return
    tool = os.path.join(ROOT, "scripts", "emulated-wine.sh")
    if subprocess.run([tool, "prepare"], stdout=subprocess.DEVNULL).returncode != 0:
        print("The emulated Wine could not be prepared (above).", flush=True)
        return
    status = subprocess.run([tool, "run", sys.executable, *sys.argv]).returncode
    if status != 77:
        sys.exit(status)


def installer_to_run():
    """The installer that the demo and the screenshots run, with the driver built: SETUP,
    else DIST's; without 32-bit code, emulated, or else DIST's sources built for 64-bit."""
    run_again_emulated()
    build_bench("e2e_driver", "e2e_desktop")
    if os.environ.get("SETUP"):
        setup = os.path.abspath(os.environ["SETUP"])
    else:
        setup = os.path.join(cmake_build.dist_folder(), "setup.exe")
        if BITS == 64:
            build = cmake_build.build_folder(cmake_build.dist_folder(), 64)
            print(f"Neither natively nor emulated can 32-bit code run here: running the 64-bit "
                  f"build of the same sources, {shown(build)}/setup.exe, in place of "
                  f"{shown(setup)}.", flush=True)
            cmake_build.build(build, "setup", bits=64)
            return os.path.join(build, "setup.exe")
    if not os.path.isfile(setup):
        sys.exit(f"error: there is no installer {setup}")
    if BITS == 32:
        print(f"Running {shown(setup)} itself, {HOW_IT_RUNS}.", flush=True)
    if BITS == 64 and is_32_bit_image(setup):
        sys.exit(f"error: {setup} is a 32-bit program, and this machine's kernel runs no "
                 "32-bit code (Linux's ia32_emulation is off), so Wine cannot start it here; "
                 "leave SETUP= out to run the 64-bit build of the same sources")
    return setup


HOW_IT_RUNS = ("emulated: this kernel runs no 32-bit code, so Wine's 32-bit side runs under "
               "qemu-i386 (scripts/emulated-wine.sh)" if EMULATED else
               "natively: this kernel runs 32-bit code")


def say_what_runs():
    """Says which installer the tests run, and how; refuses one that is missing, is no
    32-bit program, or is not the one its SHA256SUMS names."""
    import hashlib
    if not os.path.isfile(SETUP_EXE):
        sys.exit(f"error: there is no installer {shown(SETUP_EXE)}; build it with `make dist`, "
                 "or name one with SETUP=")
    if not is_32_bit_image(SETUP_EXE):
        sys.exit(f"error: {shown(SETUP_EXE)} is no 32-bit Windows program: the end-to-end tests "
                 "run the shipped 32-bit image")
    digest = hashlib.sha256(pathlib.Path(SETUP_EXE).read_bytes()).hexdigest()
    sums = os.path.join(os.path.dirname(SETUP_EXE), "SHA256SUMS")
    if os.path.isfile(sums) and f"{digest}  setup.exe" not in \
            pathlib.Path(sums).read_text().splitlines():
        sys.exit(f"error: {shown(SETUP_EXE)} is not the installer {shown(sums)} names; "
                 "build it again with `make dist`")
    with open(os.path.join(prepared_prefix(), "system.reg"), errors="replace") as registry:
        wow64 = "#arch=win64" in registry.read(4096)
    kind = ("a 64-bit one with its 32-bit side (WoW64), as 64-bit Windows has" if wow64 else
            "a 32-bit one, as 32-bit Windows has")
    print(f"The end-to-end tests run {shown(SETUP_EXE)} itself (SHA-256 {digest[:16]}…), "
          f"{HOW_IT_RUNS}. Their prefix is {kind}.", flush=True)


def build_bench(*targets):
    """Builds the tests' programs (the targets, else all); without 32-bit code, setup too."""
    if BITS == 64 and not targets:
        print("The end-to-end bench: this kernel runs no 32-bit code, so the tests run a "
              "64-bit build of the same sources under 64-bit Wine.", flush=True)
        targets = (*BENCH_TARGETS, "setup")
    cmake_build.build(BUILD, *(targets or BENCH_TARGETS), bits=BITS,
                      dictionary=os.path.join(ROOT, "resources", "payload"))


# Files of a prepared prefix that Wine never changes: shared by hard links.
SHARED_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".ocx", ".acm", ".cpl", ".tlb", ".ax",
                   ".ds", ".nls", ".ttf", ".fon", ".mui", ".msstyles", ".efi", ".com")


def wine_env(**extra):
    return {**os.environ, **BASE_ENV, **extra}


class Display:
    """An Xvfb display of our own; Xvfb picks a free number, so workers never share one."""

    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as numbers:
            number = numbers.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = f":{number}"
        self.idle = []  # prefixes given back, for the next tests on this display

    def close(self):
        while self.idle:
            self.idle.pop().close()
        self.process.terminate()
        self.process.wait()


@functools.cache
def shared_display():
    """This process's display, made on first use, closed at exit; its prefixes are reused."""
    display = Display()
    atexit.register(display.close)
    return display


def prepared_prefix():
    """The prefix made once per Wine version in the user's cache, under a lock."""
    prepared = WORK if EMULATED else os.path.join(subprocess.run(
        [os.path.join(ROOT, "scripts", "emulated-wine.sh"), "cache"], check=True,
        capture_output=True, text=True).stdout.strip(), "e2e")
    template = os.path.join(prepared, f"prefix-template-{BITS}")
    marker = os.path.join(template, ".prepared-for")
    version = subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout
    os.makedirs(prepared, exist_ok=True)
    with open(os.path.join(prepared, "prefix-template.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(marker) and pathlib.Path(marker).read_text() == version:
            return template
        shutil.rmtree(template, ignore_errors=True)
        env = wine_env(WINEPREFIX=template)
        env.pop("DISPLAY", None)
        run_through_files([WINE, "wineboot", "-i"], env=env, check=True, timeout=300)
        # Xvfb has no window manager: managed windows cost about 2 s each once answered;
        # drawn by Wine itself, they go on at once.
        run_through_files([WINE, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v",
                           "Managed", "/d", "N", "/f"], env=env, check=True, timeout=120)
        subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=120)
        pathlib.Path(marker).write_text(version)
    return template


def clone_prefix(template, target):
    """A private copy: Wine's program files hard-linked where they can be, the rest copied."""
    for folder, dirs, files in os.walk(template):
        destination = os.path.join(target, os.path.relpath(folder, template))
        os.makedirs(destination, exist_ok=True)
        links = [name for name in dirs if os.path.islink(os.path.join(folder, name))]
        dirs[:] = [name for name in dirs if name not in links]
        for name in links + files:
            source, copy = os.path.join(folder, name), os.path.join(destination, name)
            if os.path.islink(source):
                os.symlink(os.readlink(source), copy)
            elif name.lower().endswith(SHARED_SUFFIXES):
                try:
                    os.link(source, copy)
                except OSError:
                    shutil.copy2(source, copy)
            else:
                shutil.copy2(source, copy)


def run_through_files(command, **options):
    """subprocess.run with the output in files, as bytes, not through pipes: a Wine server
    that outlives the run would hold a pipe open, and the read would wait for it."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run(command, stdout=out, stderr=err, **options)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(command, result.returncode, out.read(), err.read())


def stop(process):
    process.kill()
    process.wait()
    process.stdout.close()


def take_prefix(display, timezone="UTC"):
    """A prefix for one test, given back with release(): an idle one reset, or a new one."""
    for prefix in display.idle:
        if prefix.timezone == timezone:
            display.idle.remove(prefix)
            prefix.reset()
            return prefix
    return Prefix(display, timezone, reusable=True)


class Prefix:
    """One throwaway Wine prefix. A reusable one keeps its Wine server and desktop from
    test to test (starting them costs several runs); reset() puts drive C: back."""

    def __init__(self, display, timezone="UTC", reusable=False):
        require(SETUP_EXE, "the installer")
        self.template = prepared_prefix()
        self.display = display
        self.timezone = timezone
        self.reusable = reusable
        self.root = tempfile.mkdtemp(prefix="prefix-", dir=WORK)
        clone_prefix(self.template, self.root)
        self.env = wine_env(WINEPREFIX=self.root, DISPLAY=display.name, TZ=timezone)
        self.desktop = None
        if reusable:
            # The server, services and desktop start now, outside any test's run (a run
            # under strace -f would wait for them), and stay for the prefix's life.
            subprocess.run(["wineserver", "-p"], env=self.env, check=True)
            try:
                self.hold_desktop()
            except BaseException:
                self.close()
                raise
        shutil.copy(SETUP_EXE, self.path("C:\\setup.exe"))

    def start_holder(self, *flags):
        """desktop_holder.c with flags, once it says READY; None where it did not in 60 s."""
        require(DESKTOP_EXE, "the desktop holder")
        holder = subprocess.Popen([WINE, DESKTOP_EXE, *flags], env=self.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  stdin=subprocess.DEVNULL)
        if select.select([holder.stdout], [], [], 60)[0] and \
                holder.stdout.readline().strip() == b"READY":
            return holder
        stop(holder)
        return None

    def hold_desktop(self):
        """Holds the desktop, so that windows can be made; a holder that failed to start
        (Wine's do, on a busy machine) is started again, three times at most."""
        for _ in range(3):
            self.desktop = self.start_holder()
            if self.desktop:
                return
            for step in ("-k", "-w", "-p"):
                subprocess.run(["wineserver", step], env=self.env, stderr=subprocess.DEVNULL)
        raise RuntimeError(f"Wine's desktop does not start in {self.root}")

    @contextlib.contextmanager
    def shell(self):
        """A window standing for the session's shell (GetShellWindow) while the block runs."""
        shell = self.start_holder("--shell")
        if shell is None:
            raise RuntimeError("the stand-in shell did not start")
        try:
            yield
        finally:
            stop(shell)

    def reset(self):
        """Drive C: as the template has it (in Wine's folder, WIN.INI and the temp folder)."""
        drive = os.path.join(self.root, "drive_c")
        template_drive = os.path.join(self.template, "drive_c")
        temp = os.path.join(drive, "windows", "temp")
        for path in [os.path.join(drive, n) for n in os.listdir(drive) if n != "windows"] + \
                [os.path.join(temp, n) for n in os.listdir(temp)]:
            if os.path.isdir(path) and not os.path.islink(path):
                for folder, dirs, _ in os.walk(path):
                    for sub in dirs:  # whatever a test made read-only
                        os.chmod(os.path.join(folder, sub), 0o755)
                shutil.rmtree(path)
            else:
                os.remove(path)
        for name in os.listdir(template_drive):
            source = os.path.join(template_drive, name)
            if name != "windows":
                (clone_prefix if os.path.isdir(source) else shutil.copy2)(
                    source, os.path.join(drive, name))
        shutil.copy2(os.path.join(template_drive, "windows", "win.ini"), self.win_ini)
        shutil.copy(SETUP_EXE, self.path("C:\\setup.exe"))

    def release(self):
        """Gives the prefix back for the next test on its display, or removes it."""
        if self.reusable:
            self.display.idle.append(self)
        else:
            self.close()

    def path(self, windows_path):
        """The Linux path of a path on C:, on a drive map_drive() made, or on a share."""
        if windows_path.startswith("\\\\"):
            where, rest = ["dosdevices", "unc"], windows_path[2:]
        else:
            assert windows_path[1:3] == ":\\", windows_path
            letter = windows_path[0].lower()
            where = ["drive_c"] if letter == "c" else ["dosdevices", letter + ":"]
            rest = windows_path[3:]
        return os.path.join(self.root, *where, *[p for p in rest.split("\\") if p])

    @property
    def win_ini(self):
        return self.path("C:\\windows\\win.ini")

    def write(self, windows_path, data, stamp=None):
        """Writes a file of drive C: (text in Windows-1252), last written at stamp."""
        path = self.path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        pathlib.Path(path).write_bytes(data if isinstance(data, bytes) else data.encode("cp1252"))
        if stamp is not None:
            os.utime(path, (stamp, stamp))
        return path

    def add_host(self, folder="C:\\TORVIX", version="45"):
        self.write(folder + "\\torvixx.exe", b"MZ stand-in host program")
        if version is not None:
            self.write(folder + "\\torvix.ini", f"[Common]\r\nVersion={version}\r\n")

    def set_registry(self, key, name, value):
        """Sets a registry value of the prefix (a text), or removes it (None)."""
        command = ["add", key, "/v", name, "/d", value, "/f"] if value is not None else \
            ["delete", key, "/v", name, "/f"]
        subprocess.run([WINE, "reg", *command], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=value is not None, timeout=120)

    def set_host_entry(self, value):
        """Writes the WIN.INI entry that names the host's folder."""
        with open(self.win_ini, "ab") as out:
            out.write(b"\r\n[Applications]\r\nTorvix=" + value.encode("cp1252") + b"\r\n")

    def map_drive(self, letter, folder):
        """Makes a Linux folder the Wine drive letter:. The prefix is then not reused."""
        self.reusable = False
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

    def run(self, *answers, hold=None, release_when=None, release_after_ms=0, timeout=60,
            shots=None, program="C:\\setup.exe", workdir=None, winedebug=None, wrapper=(),
            hold_shared=False, relay=()):
        """Runs the installer, answering its windows: the driver's lines but EXIT, and the exit
        status. Wine's output goes to self.trace; relay traces only the functions named."""
        require(DRIVER_EXE, "the end-to-end driver")
        options = {"--timeout": timeout, "--hold-shared" if hold_shared else "--hold": hold,
                   "--release-when": release_when, "--release-after": release_after_ms,
                   "--shots": shots, "--cwd": workdir}
        command = [*wrapper, WINE, DRIVER_EXE, *(str(part) for option, value in options.items()
                                                 if value for part in (option, value)),
                   program, *answers]
        env = dict(self.env)
        if winedebug or relay:
            env["WINEDEBUG"] = ",".join(filter(None, (winedebug, relay and "+relay")))
        relayed = "HKCU\\Software\\Wine\\Debug", "RelayInclude"
        if relay:
            self.set_registry(*relayed, ";".join(relay))
        try:
            result = run_through_files(command, env=env, timeout=timeout + 60,
                                       cwd=self.path("C:\\"))
            self.trace = result.stderr.decode("utf-8", "replace")
        finally:
            if relay:  # for the runs that take the prefix next
                self.set_registry(*relayed, None)
        lines = result.stdout.decode("cp1252").splitlines()
        status = None
        if lines and lines[-1].startswith("EXIT\t"):
            status = int(lines.pop().split("\t")[1])
        if status is None and not lines:
            raise RuntimeError(f"the driver printed nothing (exit {result.returncode}); "
                               f"Wine said:\n{self.trace[-3000:]}")
        return [tuple(line.split("\t")) for line in lines], status

    def short_path(self, windows_path):
        """The 8.3 form of an existing path, as this Wine makes it."""
        require(DRIVER_EXE, "the end-to-end driver")
        result = run_through_files([WINE, DRIVER_EXE, "--short-path", windows_path],
                                   env=self.env, timeout=120)
        line = result.stdout.decode("cp1252").strip()
        if not line.startswith("SHORT\t"):
            raise RuntimeError(f"no short path for {windows_path}: {line!r}")
        return line.split("\t", 1)[1]

    def close(self):
        for step in ("-k", "-w"):
            run_through_files(["wineserver", step], env=self.env)
        if self.desktop is not None:
            self.desktop.wait()
            self.desktop.stdout.close()
        shutil.rmtree(self.root, ignore_errors=True)


if __name__ == "__main__":
    if sys.argv[1:] != ["--build"]:
        sys.exit("usage: wine.py --build")
    # The prefix is prepared while the bench builds: one waits on Wine, one on the compiler.
    preparing = threading.Thread(target=prepared_prefix)
    preparing.start()
    build_bench()
    preparing.join()
    if BITS == 32:
        say_what_runs()
