#!/usr/bin/env python3
"""Fails the build unless fault_ways.h lists exactly platform.h's operations, so that the
sweep faults each: check_fault_ways.py PLATFORM_H FAULT_WAYS_H STAMP"""

import pathlib
import re
import sys


def main(platform_h, fault_ways_h, stamp):
    platform, ways = (pathlib.Path(path).read_text() for path in (platform_h, fault_ways_h))
    declared = set(re.findall(r"virtual\s[^;(]*?\b(\w+)\s*\(", platform))
    listed = set(re.findall(r"^\s*X\((\w+),", ways, re.MULTILINE))
    missing = sorted(declared - listed)
    stale = sorted(listed - declared)
    if missing or stale:
        for name in missing:
            print(f"{fault_ways_h}: error: the seam operation {name} of {platform_h} has no "
                  "fault ways: add its line (zero ways only where it cannot fail, with why)")
        for name in stale:
            print(f"{fault_ways_h}: error: {name} is no operation of {platform_h}: remove it")
        return 1
    pathlib.Path(stamp).write_text("\n".join(sorted(listed)) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
