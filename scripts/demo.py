#!/usr/bin/env python3
"""Runs the installer of DIST (or SETUP) under Wine against a sample host in C:\\TORVIX, in
a throwaway prefix: on DISPLAY you click through the boxes; without one, each box is
answered OK and printed. Then it lists the files installed, with sizes and times."""

import datetime
import os
import subprocess
import sys
import time
import types

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine"))
import wine  # noqa: E402


def main():
    wine.SETUP_EXE = wine.installer_to_run()
    print(f"Installer: {wine.SETUP_EXE}")
    interactive = bool(os.environ.get("DISPLAY"))
    # The user's own display, which the demo does not close; else a virtual one.
    display = (types.SimpleNamespace(name=os.environ["DISPLAY"], close=lambda: None)
               if interactive else wine.Display())
    timezone = os.environ.get("TZ", "UTC")
    os.environ["TZ"] = timezone  # the listing shows the times Wine's local time gave
    time.tzset()
    try:
        prefix = wine.Prefix(display, timezone)
    except BaseException:
        display.close()  # a prefix that did not start leaves no virtual display behind
        raise
    failed = None
    try:
        prefix.add_host()
        print("Sample host folder C:\\TORVIX: torvixx.exe, torvix.ini (Version=45)")
        if interactive:
            print(f"Running setup.exe on {display.name}: answer its boxes there.")
            subprocess.run([wine.WINE, "C:\\setup.exe"], env=prefix.env, check=False)
        else:
            print("No display: running on a virtual one and answering OK to every box.\n")
            shown, status = prefix.run("ok", "ok", "ok", "ok")
            for window in shown:
                print(f"[{window[0].lower()}] {window[1]}")
                if len(window) > 2:
                    print("    " + window[2].replace("\\r", "\n    "))
                print()
            print(f"setup.exe ended with exit status {status}\n")
            if status != 0:
                failed = f"setup.exe did not run to its end (exit status {status})"
        print(f"C:\\TORVIX now holds (last-write times in {timezone}):")
        folder = prefix.path("C:\\TORVIX")
        for name in sorted(os.listdir(folder)):
            info = os.stat(os.path.join(folder, name))
            when = datetime.datetime.fromtimestamp(info.st_mtime).strftime("%Y-%m-%d %H:%M:%S")
            print(f"  {name:<14} {info.st_size:>9,} bytes  {when}")
    finally:
        prefix.close()
        display.close()
    if failed:
        sys.exit(f"error: {failed}")


if __name__ == "__main__":
    main()
