#!/usr/bin/env python3
"""What an installer weighs beyond its payload: size_report.py SETUP_EXE DICTIONARY_FOLDER"""

import os
import sys


def payload_size(folder):
    total = 0
    with open(os.path.join(folder, "manifest.txt"), encoding="utf-8-sig") as manifest:
        for line in manifest:
            fields = line.rstrip("\r\n").split("\t")
            if fields[0] == "file" and len(fields) == 3:
                total += os.path.getsize(os.path.join(folder, fields[1]))
    return total


def report(exe, folder):
    size = os.path.getsize(exe)
    payload = payload_size(folder)
    print(f"{exe}: {size:,} bytes; payload {payload:,} bytes; "
          f"beyond the payload {size - payload:,} bytes ({(size - payload) / 1024:.1f} KiB)")


if __name__ == "__main__":
    report(*sys.argv[1:3])
