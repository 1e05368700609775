#!/usr/bin/env python3
"""Measures setup.exe against NSIS's installer of the same files, two floor programs and
ours without the flush (and REV's installer), on three roads under Wine; prints the
medians and ratios and writes them to build/bench/results.md (docs/benchmarks.md).

    scripts/bench.py [--runs N] [--baseline-rev REV]
"""

import argparse
import contextlib
import hashlib
import os
import pathlib
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine"))
import wine  # noqa: E402
from size_report import payload_size  # noqa: E402

ROOT = wine.ROOT
BENCH = os.path.join(ROOT, "build", "bench")
FILES = 200
FILE_SIZE = 320 * 1024
SEED = 20261208
STAMP = "2001-02-03 04:05:06"
ROADS = ("empty", "repair", "upgrade")


def make_dictionary(folder, seed=SEED):
    """The large dictionary, made once: the same bytes on every run."""
    manifest = os.path.join(folder, "manifest.txt")
    if os.path.exists(manifest):
        return
    os.makedirs(folder, exist_ok=True)
    generator = random.Random(seed)
    lines = ["language\tBenchmark"]
    for index in range(1, FILES + 1):
        name = f"BENCH{index:03d}.DAT"
        pathlib.Path(folder, name).write_bytes(generator.randbytes(FILE_SIZE))
        lines.append(f"file\t{name}\t{STAMP}")
    pathlib.Path(manifest + ".part").write_text("\n".join(lines) + "\n")
    os.rename(manifest + ".part", manifest)


def build_ours(dictionary):
    if wine.BITS == 32:
        subprocess.run(["make", "-s", "-C", ROOT, "dist", f"DICTIONARY={dictionary}",
                        f"DIST={os.path.join(BENCH, 'dist')}"],
                       check=True, stdout=subprocess.DEVNULL)
        return os.path.join(BENCH, "dist", "setup.exe")
    build = os.path.join(BENCH, "win64")
    wine.cmake_build.build(build, "setup", bits=64, dictionary=dictionary)
    return os.path.join(build, "setup.exe")


# The cross-compiler of the bench's kind: the shipped 32-bit one, or 64-bit where this
# kernel runs no 32-bit code (scripts/wine/wine.py).
TRIPLET = "i686-w64-mingw32" if wine.BITS == 32 else "x86_64-w64-mingw32"


def build_helper(source, name, *more):
    """One of the benchmark's own small programs, for the bench's kind of Windows."""
    exe = os.path.join(BENCH, name)
    compiler = f"{TRIPLET}-g++" if source.endswith(".cpp") else f"{TRIPLET}-gcc"
    subprocess.run([compiler, "-O2", "-static", "-s", "-Wall", "-Werror",
                    f"-I{os.path.join(ROOT, 'src')}", "-o", exe,
                    os.path.join(ROOT, "scripts", source), *more], check=True)
    return exe


def verify_cost(env, runs):
    """Medians of the damage check's first and second pass over ours.exe, in ms."""
    passes = [subprocess.run([wine.WINE, "C:\\verify_cost.exe", "C:\\ours.exe"], env=env,
                             capture_output=True, text=True, check=True).stdout.split()[1:3]
              for _ in range(runs)]
    return tuple(statistics.median(float(times[i]) for times in passes) for i in (0, 1))


# The one call the no-flush contender leaves out: the flush of each copy before its move.
FLUSHED = "IsOnDisk(platform.FlushOutputFile(copy))"


def build_without_flush(dictionary):
    """Ours with no copy flushed before its move: the measure of the flush, never shipped."""
    source = os.path.join(BENCH, "no-flush-source")
    shutil.rmtree(source, ignore_errors=True)
    wine.cmake_build.copy_tracked(source)
    entry = os.path.join(source, "src", "payload", "install_entry.cpp")
    code = pathlib.Path(entry).read_text()
    if code.count(FLUSHED) != 1:
        sys.exit(f"error: src/payload/install_entry.cpp no longer flushes each copy as "
                 f"`{FLUSHED}`: tell scripts/bench.py what to leave out")
    pathlib.Path(entry).write_text(code.replace(FLUSHED, "IsOnDisk(FileError::kNone)"))
    build = os.path.join(BENCH, "no-flush-build")
    shutil.rmtree(build, ignore_errors=True)
    wine.cmake_build.build(build, "setup", bits=wine.BITS, dictionary=dictionary, source=source)
    return os.path.join(build, "setup.exe")


def build_baseline(dictionary, revision):
    """The installer of an earlier revision, built from its tree (git archive)."""
    source = os.path.join(BENCH, "baseline-source")
    build = os.path.join(BENCH, "baseline-build")
    for folder in (source, build):
        shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(source)
    tree = subprocess.run(["git", "-C", ROOT, "archive", revision], capture_output=True)
    if tree.returncode != 0:
        sys.exit(f"error: no revision {revision}: {tree.stderr.decode().strip()}")
    subprocess.run(["tar", "-x", "-C", source], input=tree.stdout, check=True)
    # At the bench's bitness: a 64-bit bench runs no 32-bit code.
    if not os.path.isfile(os.path.join(source, "cmake", f"{TRIPLET}.cmake")):
        sys.exit(f"error: revision {revision} cannot be built for {wine.BITS}-bit Windows "
                 f"(it has no cmake/{TRIPLET}.cmake), and this bench runs "
                 f"{wine.BITS}-bit programs only")
    try:
        wine.cmake_build.build(build, "setup", bits=wine.BITS, dictionary=dictionary,
                               source=source)
    except subprocess.CalledProcessError:
        sys.exit(f"error: revision {revision} does not build for {wine.BITS}-bit Windows, "
                 f"the only kind this bench runs")
    exe = os.path.join(BENCH, "baseline-setup.exe")
    shutil.copy(os.path.join(build, "setup.exe"), exe)
    return exe


def build_peer(dictionary, output="peer-setup.exe"):
    """The NSIS installer of the same files, at the bench's bitness (Target amd64-unicode)."""
    script = os.path.join(BENCH, output + ".nsi")
    with open(os.path.join(dictionary, "manifest.txt"), encoding="utf-8") as manifest:
        names = [line.split("\t")[1] for line in manifest if line.startswith("file\t")]
    pathlib.Path(script).write_text("\n".join([
        *(["Target amd64-unicode"] if wine.BITS == 64 else []), 'Name "Benchmark"',
        f'OutFile "{os.path.join(BENCH, output)}"', "SetCompress off", "SilentInstall silent",
        "RequestExecutionLevel user", 'InstallDir "C:\\TORVIX"', "Section",
        '  SetOutPath "C:\\TORVIX"', *(f'  File "{os.path.join(dictionary, name)}"'
                                       for name in names), "SectionEnd", ""]))
    subprocess.run(["makensis", "-V1", script], check=True)
    return os.path.join(BENCH, output)


def run(arguments, env, clear):
    """Wall seconds, peak resident KiB, peak private KiB and CPU seconds (user and
    system) of one run. The Wine loader runs the program in the process it starts, so
    the figures are its own."""
    clear()
    peak_anon = 0
    start = time.perf_counter()
    process = subprocess.Popen([wine.WINE, *arguments], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    status = pathlib.Path(f"/proc/{process.pid}/status")
    while (reaped := os.wait4(process.pid, os.WNOHANG))[0] == 0:
        with contextlib.suppress(OSError, ValueError, AttributeError):  # ending meanwhile
            anon = re.search(r"^RssAnon:\s*(\d+)", status.read_text(), re.MULTILINE)
            peak_anon = max(peak_anon, int(anon.group(1)))
        time.sleep(0.001)
    wall = time.perf_counter() - start
    process.returncode = 0  # reaped above
    usage = reaped[2]
    return wall, usage.ru_maxrss, peak_anon, usage.ru_utime + usage.ru_stime


def digest(path):
    return hashlib.sha256(pathlib.Path(path).read_bytes()).digest()


def prepare(road, host, dictionaries):
    """Makes the target folder ready for the road (not timed)."""
    for name in os.listdir(host):
        if name.endswith(".DAT") or name.startswith(("~setup.", "~floor.")):
            os.remove(os.path.join(host, name))
    if road == "empty":
        return
    source = dictionaries["new" if road == "repair" else "old"]
    for name in os.listdir(source):
        if name.endswith(".DAT"):
            shutil.copyfile(os.path.join(source, name), os.path.join(host, name))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--baseline-rev", metavar="REV",
                        help="also run the installer of this git revision, for the same files")
    arguments = parser.parse_args()
    runs = arguments.runs
    if wine.EMULATED:
        sys.exit("error: the bench times native code only, and this runs inside the emulated "
                 "Wine's namespace; run make bench outside scripts/emulated-wine.sh")

    dictionaries = {"new": os.path.join(BENCH, "dictionary"),
                    "old": os.path.join(BENCH, "dictionary-older")}
    make_dictionary(dictionaries["new"])
    make_dictionary(dictionaries["old"], SEED + 1)
    dictionary = dictionaries["new"]
    subprocess.run(["make", "-s", "-C", ROOT, "dist"], check=True, stdout=subprocess.DEVNULL)
    ours = build_ours(dictionary)
    if wine.BITS == 64:
        print("A 64-bit bench (this kernel runs no 32-bit code natively, or E2E_BITS=64): the "
              "64-bit build of the same sources against NSIS's 64-bit stub (Target "
              "amd64-unicode), both native.", flush=True)
    peer = build_peer(dictionary)
    payload = payload_size(dictionary)
    host_folder = "C:\\TORVIX"
    without_flush = build_without_flush(dictionary)
    contenders = [("ours", lambda road: ["C:\\ours.exe"]),
                  ("floor", lambda road: ["C:\\floor.exe", road, "C:\\ours.exe", host_folder]),
                  ("fair", lambda road: ["C:\\floor.exe", road, "C:\\ours.exe", host_folder,
                                         "--boxes"]),
                  ("no flush", lambda road: ["C:\\no-flush.exe"]),
                  ("peer", lambda road: ["C:\\peer.exe"])]
    if arguments.baseline_rev:
        baseline = build_baseline(dictionary, arguments.baseline_rev)
        contenders.append(("baseline", lambda road: ["C:\\baseline.exe"]))

    template = wine.prepared_prefix()
    prefix = os.path.join(BENCH, "prefix")
    shutil.rmtree(prefix, ignore_errors=True)
    wine.clone_prefix(template, prefix)
    env = wine.wine_env(WINEPREFIX=prefix, TZ="UTC")
    env.pop("DISPLAY", None)
    drive_c = os.path.join(prefix, "drive_c")
    host = os.path.join(drive_c, "TORVIX")
    os.makedirs(host, exist_ok=True)
    for name, data in (("torvixx.exe", b"MZ stand-in host program"),
                       ("torvix.ini", b"[Common]\r\nVersion=45\r\n")):
        pathlib.Path(host, name).write_bytes(data)
    programs = {"ours.exe": ours, "no-flush.exe": without_flush, "peer.exe": peer,
                # It times the damage check alone.
                "verify_cost.exe": build_helper("verify_cost.cpp", "verify_cost.exe",
                                                os.path.join(ROOT, "src", "payload", "crc32.cpp")),
                "floor.exe": build_helper("bench_floor.cpp", "floor.exe"),
                "desktop.exe": build_helper(os.path.join("wine", "desktop_holder.c"),
                                            "desktop.exe")}
    if arguments.baseline_rev:
        programs["baseline.exe"] = baseline
    for name, built in programs.items():
        shutil.copy(built, os.path.join(drive_c, name))
    # Digests, not the bytes: a child's peak resident memory starts from its parent's.
    expected = {name: digest(os.path.join(dictionary, name))
                for name in os.listdir(dictionary) if name.endswith(".DAT")}

    # One Wine server and one desktop for all runs, as Windows always has both, so that
    # no contender pays for starting them and none finds them up by the luck of order.
    server = subprocess.Popen(["wineserver", "-p", "-f"], env=env)
    time.sleep(1)
    desktop = subprocess.Popen([wine.WINE, "C:\\desktop.exe"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(2)
    results = {road: {label: [] for label, _ in contenders} for road in ROADS}
    try:
        for road in ROADS:
            for label, arguments_of in contenders:  # warm-up
                run(arguments_of(road), env, lambda: prepare(road, host, dictionaries))
            for _ in range(runs):
                for label, arguments_of in contenders:
                    results[road][label].append(
                        run(arguments_of(road), env, lambda: prepare(road, host, dictionaries)))
                    left = sorted(os.listdir(host))
                    if {n for n in left if n.endswith(".DAT")} != set(expected) or \
                            any(n.startswith("~") for n in left):
                        sys.exit(f"{label} on the {road} road left {left}")
            # The last run's files must be the new dictionary's, whole.
            for name, wanted in expected.items():
                if digest(os.path.join(host, name)) != wanted:
                    sys.exit(f"{name} differs after the {road} road")
        check_first, check_second = verify_cost(env, runs)
    finally:
        subprocess.run(["wineserver", "-k"], env=env)
        server.wait()
        desktop.wait()
        shutil.rmtree(prefix, ignore_errors=True)

    def medians(rows):
        return tuple(statistics.median(r[i] for r in rows) for i in range(4))

    def spread(road, label, against, i=0):
        """The median, lowest and highest of the ratios of runs of the same round."""
        ratios = [a[i] / b[i] for a, b in zip(results[road][label], results[road][against])]
        return statistics.median(ratios), min(ratios), max(ratios)

    lines = []
    measures = [("Wall time", "%.3f s", 0, 1), ("CPU time (user and system)", "%.3f s", 3, 1),
                ("Peak resident memory", "%.1f MiB", 1, 1024),
                ("Peak private (anonymous) memory", "%.1f MiB", 2, 1024)]
    names = {"fair": "fair floor", "floor": "bare floor", "no flush": "without the flush",
             "peer": "NSIS peer"}
    others = list(names)
    for road in ROADS:
        figures = {label: medians(rows) for label, rows in results[road].items()}
        header = "| Measure | setup.exe | " + " | ".join(names[o] for o in others) + " | " + \
            " | ".join(f"ours/{o}" for o in others) + " |"
        lines += [f"Road: {road} (median of {runs} runs, {wine.BITS}-bit bench)", "", header,
                  "|---|" + "---:|" * (1 + 2 * len(others))]
        for name, form, i, scale in measures:
            a = figures["ours"][i] / scale
            values = [figures[o][i] / scale for o in others]
            lines.append(f"| {name} | {form % a} | " + " | ".join(form % v for v in values) +
                         " | " + " | ".join(f"{a / v:.2f}" for v in values) + " |")
        lines.append("")
        for other in others:
            middle, low, high = spread(road, "ours", other)
            lines.append(f"Wall time ours/{names[other]}, run by run: median {middle:.2f}, "
                         f"from {low:.2f} to {high:.2f}.")
        flush = [(a[0] - b[0]) * 1000 / FILES
                 for a, b in zip(results[road]["ours"], results[road]["no flush"])]
        lines.append(f"The flush: {statistics.median(flush):+.2f} ms a file, run by run (from "
                     f"{min(flush):+.2f} to {max(flush):+.2f}).")
        middle, low, high = spread(road, "no flush", "peer")
        lines.append(f"Wall time without the flush/NSIS peer, run by run: median "
                     f"{middle:.2f}, from {low:.2f} to {high:.2f}.")
        lines.append("")
        if arguments.baseline_rev:
            (wall, cpu), (old_wall, old_cpu) = ((figures[label][0], figures[label][3])
                                                for label in ("ours", "baseline"))
            lines += [f"Against {arguments.baseline_rev}: wall {wall:.3f} s against "
                      f"{old_wall:.3f} s ({(wall - old_wall) * 1000:+.1f} ms), CPU {cpu:.3f} s "
                      f"against {old_cpu:.3f} s ({(cpu - old_cpu) * 1000:+.1f} ms)", ""]
    own = os.path.join(ROOT, "resources", "payload")
    lines += ["| Size beyond the payload | setup.exe | NSIS peer | ours/peer |",
              "|---|---:|---:|---:|"]
    for what, ours_exe, peer_exe, payload_bytes in (
            ("This benchmark's payload", ours, peer, payload),
            ("This build's own payload", os.path.join(ROOT, "dist", "setup.exe"),
             build_peer(own, "peer-own-payload.exe"), payload_size(own))):
        a, b = (os.path.getsize(exe) - payload_bytes for exe in (ours_exe, peer_exe))
        lines.append(f"| {what} | {a:,} bytes | {b:,} bytes | {a / b:.2f} |")
    lines.append("")
    lines += [f"The damage check alone (CRC-32 of every resource in place, median of {runs}): "
              f"{check_second:.1f} ms over mapped pages, {check_first:.1f} ms when it also maps "
              f"the payload in, as the writes would otherwise.", ""]
    text = "\n".join(lines)
    print(f"Payload: {FILES} files of {FILE_SIZE // 1024} KiB, {payload:,} bytes\n")
    print(text)
    pathlib.Path(BENCH, "results.md").write_text(text)


if __name__ == "__main__":
    main()
