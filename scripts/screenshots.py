#!/usr/bin/env python3
"""Takes the README's screenshots: runs dist/setup.exe under Wine through the driver, which
saves every window before answering it, and writes them as PNG files to docs/screenshots/."""

import os
import pathlib
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine"))
import wine  # noqa: E402

OUT = os.path.join(wine.ROOT, "docs", "screenshots")

# Each scenario: a set-up of the prefix, the answers, and a file name for each window.
SCENARIOS = [
    ("typical", lambda p: p.add_host(), ["ok", "ok"], ["confirm", "complete"]),
    ("locate", lambda p: p.add_host("C:\\Apps\\Host"),
     ["ok", "ok", "file=C:\\Apps\\Host\\torvixx.exe", "ok"],
     [None, "locate-prompt", "locate-dialog", None]),
    ("old", lambda p: p.add_host(version="40"), ["ok", "ok"], [None, "version-too-old"]),
    ("unknown", lambda p: p.add_host(version=None), ["ok", "ok"], [None, "version-unknown"]),
]


def bmp_to_png(bmp_path, png_path):
    data = pathlib.Path(bmp_path).read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]  # BGR to RGB
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
    pathlib.Path(png_path).write_bytes(png)


def main():
    wine.SETUP_EXE = wine.installer_to_run()
    os.makedirs(OUT, exist_ok=True)
    display = wine.Display()
    try:
        for name, set_up, answers, files in SCENARIOS:
            # The prepared prefix lets Wine draw the title bars itself (no window manager).
            # One prefix serves every scenario, put back as the template has it between.
            prefix = wine.take_prefix(display)
            try:
                set_up(prefix)
                shots = prefix.path("C:\\windows\\temp\\shots")
                os.makedirs(shots, exist_ok=True)
                shown, status = prefix.run(*answers, shots="C:\\windows\\temp\\shots")
                if status != 0 or len(shown) != len(files):
                    sys.exit(f"{name}: unexpected run: {shown} {status}")
                for number, target in enumerate(files, 1):
                    if target:
                        bmp_to_png(os.path.join(shots, f"{number:02d}.bmp"),
                                   os.path.join(OUT, target + ".png"))
                        print(f"docs/screenshots/{target}.png")
            finally:
                prefix.release()
    finally:
        display.close()


if __name__ == "__main__":
    main()
