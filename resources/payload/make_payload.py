#!/usr/bin/env python3
"""Regenerates this build's two dictionary files from Debian's Brazilian Portuguese
word list (package wbrazilian, GPL-2). Building never runs this: the files it makes
are committed. Run it by hand to remake them:

    resources/payload/make_payload.py [path/to/brazilian]

Without a path it fetches the package with `apt-get download` into a temporary
folder (nothing is installed). The output is the same on every run.

LXWEPB.TLX   exactly 8,385 bytes: a plain word list, Windows-1252, CR LF line ends,
             words taken at an even stride through the whole list.
LXWEPB2.CLX  exactly 310,992 bytes: a front-coded (prefix-compressed) lexicon of
             the list's first words; see README.md for its layout.
"""

import glob
import os
import struct
import subprocess
import sys
import tempfile

TLX_SIZE = 8385
CLX_SIZE = 310992
CLX_MAGIC = b"CLXSTUB1"
HERE = os.path.dirname(os.path.abspath(__file__))


def fetch_word_list(folder):
    subprocess.run(["apt-get", "download", "wbrazilian"], cwd=folder, check=True,
                   stdout=subprocess.DEVNULL)
    deb = glob.glob(os.path.join(folder, "wbrazilian_*.deb"))[0]
    subprocess.run(["dpkg-deb", "-x", deb, os.path.join(folder, "x")], check=True)
    return os.path.join(folder, "x", "usr", "share", "dict", "brazilian")


def read_words(path):
    words = []
    with open(path, encoding="utf-8") as source:
        for line in source:
            word = line.strip()
            try:
                encoded = word.encode("cp1252")
            except UnicodeEncodeError:
                continue
            if encoded:
                words.append(encoded)
    return words


def make_word_list(words):
    """Words at an even stride, then one word of exactly the length that is left."""
    stride = len(words) // 1000
    chosen = []
    size = 0
    for word in words[::stride]:
        if TLX_SIZE - size < 20:
            break
        if size + len(word) + 2 <= TLX_SIZE - 8:
            chosen.append(word)
            size += len(word) + 2
    left = TLX_SIZE - size - 2
    chosen.append(next(w for w in words if len(w) == left and w not in chosen))
    data = b"".join(w + b"\r\n" for w in chosen)
    assert len(data) == TLX_SIZE
    return data


def make_lexicon(words):
    """Header, then one record a word: shared prefix length, the rest, a zero byte."""
    header_size = len(CLX_MAGIC) + 4
    records = []
    size = header_size
    previous = b""
    for word in words:
        shared = 0
        while shared < min(len(word), len(previous), 255) and word[shared] == previous[shared]:
            shared += 1
        record = bytes([shared]) + word[shared:] + b"\0"
        if size + len(record) > CLX_SIZE:
            break
        records.append(record)
        size += len(record)
        previous = word
    data = CLX_MAGIC + struct.pack("<I", len(records)) + b"".join(records)
    data += b"\0" * (CLX_SIZE - len(data))
    assert len(data) == CLX_SIZE
    return data


def main():
    with tempfile.TemporaryDirectory() as folder:
        path = sys.argv[1] if len(sys.argv) > 1 else fetch_word_list(folder)
        words = read_words(path)
    for name, data in (("LXWEPB.TLX", make_word_list(words)), ("LXWEPB2.CLX", make_lexicon(words))):
        with open(os.path.join(HERE, name), "wb") as target:
            target.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
