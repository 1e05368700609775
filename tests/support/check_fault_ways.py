#!/usr/bin/env python3
"""Fails the build unless fault_ways.h lists exactly platform.h's operations, so that the
sweep faults each: check_fault_ways.py PLATFORM_H FAULT_WAYS_H STAMP"""

import re
import sys


def main(platform_h, fault_ways_h, stamp):
    with open(platform_h) as source:
        declared = set(re.findall(r"virtual\s[^;(]*?\b(\w+)\s*\(", source.read()))
    with open(fault_ways_h) as source:
        text = source.read()
    listed = set(re.findall(r"^\s*X\((\w+),", text, re.MULTILINE))
    missing = sorted(declared - listed)
    stale = sorted(listed - declared)
    if missing or stale:
        for name in missing:
            print(f"{fault_ways_h}: error: the seam operation {name} of {platform_h} has no "
                  "fault ways: add its line (zero ways only where it cannot fail, with why)")
        for name in stale:
            print(f"{fault_ways_h}: error: {name} is no operation of {platform_h}: remove it")
        return 1
    with open(stamp, "w") as out:
        out.write("\n".join(sorted(listed)) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
