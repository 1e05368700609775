#!/usr/bin/env python3
"""Turns a dictionary folder and the build settings into the installer's embedded
resource set.

    payload_resources.py DICTIONARY_FOLDER OUTPUT_FOLDER [VENDOR_SITE [COMPANY_NAME]]

The settings may also come from the environment (SETUP_VENDOR_SITE,
SETUP_COMPANY_NAME), which carries any text exactly; they win over the arguments.

The folder holds the dictionary's files and manifest.txt (UTF-8, a byte-order mark
allowed, tab-separated):

    language<TAB>Brazilian Portuguese
    file<TAB>LXWEPB.TLX<TAB>1997-01-06 13:44:46
    file<TAB>LXWEPB2.CLX<TAB>1999-11-30 17:04:48

one `file` line per file, in install order, with the local date and time the file
is installed with. Blank lines and lines starting with # are skipped.

It writes into OUTPUT_FOLDER:
  payload.rc            FILES, NAMEnnn, TIMEnnn, DATAnnn, SUMS and INFO, all RCDATA,
                        language 2067
  *.bin                 the small resources' exact bytes, which payload.rc names
  build_constants.cpp   DictionaryLanguage and VendorSite
  settings.rh           the company name for the version record
  inputs.digest         the SHA-256 of every byte the resource object is made of

Each is rewritten only when its content changes, so that a build that depends on them
is redone when, and only when, what it is made of has changed.

A manifest or a setting the installer could not carry stops the build with the line
or the setting at fault.
"""

import datetime
import hashlib
import os
import sys
import unicodedata
import zlib

import cpp_texts
import resource_set

LARGEST_FILE = 2 ** 31 - 1
FORBIDDEN = set('\\/:*?"<>|')
# The installer writes a replacement under these names before it moves it into place,
# and reclaims what an interrupted run left under them: no payload file may bear one.
TEMPORARY_NAMES = cpp_texts.text_list("src/payload/temporary_names.h", "kTemporaryNames")
# Names Windows takes for devices, whatever extension follows and with any spaces
# before it: the classic ones, the console's, and the ports with superscript digits.
RESERVED = ({"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}
            | {f"{port}{digit}" for port in ("COM", "LPT") for digit in "123456789¹²³"})
# The build settings' defaults, here and nowhere else.
DEFAULT_VENDOR_SITE = "www.torvix.example"
DEFAULT_COMPANY_NAME = "Torvix Software"


# Every message is built in an area of 256 characters (Windows-1252 bytes), from the
# installer's own texts. The build refuses a language name, a web site or a file name
# that would not fit the message it goes into.
MESSAGE_AREA = 256
MESSAGES = cpp_texts.texts("src/common/messages.h")
LONGEST_VERSION = 2  # the host's version is read into an area of 2 characters
CONFIRMATION = (MESSAGES["kConfirmationOpening"], MESSAGES["kConfirmationClosing"])
# The messages that end with the web site: the completion report when no lexicon is
# found, and the version refusal with the longest version it can show.
SITE_MESSAGES = (
    (MESSAGES["kCompletionOpening"] + MESSAGES["kCompletionWithoutLexicon"],
     MESSAGES["kCompletionWithoutLexiconEnd"]),
    (MESSAGES["kVersionTooOld"] + "9" * LONGEST_VERSION + MESSAGES["kVersionTooOldSite"], ""),
)
LONGEST_LANGUAGE = MESSAGE_AREA - len("".join(CONFIRMATION))
LONGEST_SITE = MESSAGE_AREA - max(len(before + after) for before, after in SITE_MESSAGES)
# A name of at most this many bytes keeps "<name> could not be created." whole.
LONGEST_NAME = MESSAGE_AREA - len(MESSAGES["kEntryFailed"])
KEYWORDS = {"language": "language<TAB>NAME", "file": "file<TAB>NAME<TAB>YYYY-MM-DD HH:MM:SS"}


class ManifestError(Exception):
    """A fault the build names. One that a manifest line has is shown as compilers show
    theirs: path:line: message."""

    def __init__(self, message, path=None, line=None):
        super().__init__(message)
        self.message, self.path, self.line = message, path, line

    def __str__(self):
        if self.path and self.line:
            return f"{self.path}:{self.line}: {self.message}"
        if self.path:
            return f"{self.path}: {self.message}"
        return f"error: {self.message}"


def parse_time(text):
    try:
        when = datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S")
    except ValueError:
        raise ManifestError(f"time {text!r} is not YYYY-MM-DD HH:MM:SS")
    if not 1980 <= when.year <= 2107:
        raise ManifestError(f"time {text} is outside 1980-2107, which DOS time stamps cannot hold")
    if when.second % 2:
        raise ManifestError(f"time {text} has odd seconds; DOS time stamps keep two-second steps")
    return resource_set.pack_stamp(when)


def character(c):
    """A character as a message names it: itself, its code point and its name."""
    return f"{c!r} (U+{ord(c):04X} {unicodedata.name(c, 'unnamed')})"


def windows_1252(text, what):
    """The text in Windows-1252, or an error naming what it is and the character."""
    for c in text:
        try:
            c.encode("cp1252")
        except UnicodeEncodeError:
            raise ManifestError(f"{what} has {character(c)}, which Windows-1252 cannot hold")
    return text.encode("cp1252")


def folded(name):
    """The name as Windows compares names: each letter in its upper-case form, where
    that is one character (the file system maps ß to itself, not to SS)."""
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in name)


def encode_name(name):
    if not name:
        raise ManifestError("the file name is empty")
    encoded = windows_1252(name, f"file name {name!r}")
    bad = sorted({c for c in name if c in FORBIDDEN or ord(c) < 32})
    if bad:
        raise ManifestError(f"file name {name!r} contains {' '.join(map(repr, bad))}")
    if name in (".", "..") or name[-1] in ". ":
        raise ManifestError(f"file name {name!r} ends in a dot or a space")
    if folded(name.split(".")[0].rstrip(" ")) in RESERVED:
        raise ManifestError(f"file name {name!r} is a reserved device name")
    if folded(name) in {folded(temporary) for temporary in TEMPORARY_NAMES}:
        raise ManifestError(f"file name {name!r} is one of the installer's temporary names "
                            f"({', '.join(TEMPORARY_NAMES)})")
    if len(encoded) > LONGEST_NAME:
        raise ManifestError(f"file name {name!r} is longer than {LONGEST_NAME} bytes")
    return encoded


def manifest_lines(path):
    """The manifest's lines as text, numbered from 1, without a byte-order mark. A
    line that is not UTF-8 stops the build, naming the line and the byte."""
    with open(path, "rb") as manifest:
        data = manifest.read()
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    for number, raw in enumerate(data.split(b"\n"), 1):
        try:
            yield number, raw.decode("utf-8").rstrip("\r")
        except UnicodeDecodeError as error:
            raise ManifestError(
                f"byte 0x{raw[error.start]:02X} at column {error.start + 1} is not UTF-8; "
                "save the manifest as UTF-8", path, number)


def check_fields(line):
    """The tab-separated fields of a manifest line, or what was expected instead."""
    fields = line.split("\t")
    keyword = fields[0]
    if keyword not in KEYWORDS:
        first = keyword.split(" ")[0]
        if first in KEYWORDS:
            raise ManifestError(f"spaces after {first!r}; expected a tab between the fields: "
                                f"{KEYWORDS[first]}")
        if first.lower() in KEYWORDS:
            raise ManifestError(f"the keyword {first!r} must be {first.lower()!r}, in lower "
                                f"case: {KEYWORDS[first.lower()]}")
        raise ManifestError(f"expected {KEYWORDS['language']} or {KEYWORDS['file']}, "
                            f"not a line starting {keyword[:20]!r}")
    wanted = KEYWORDS[keyword].count("<TAB>") + 1
    if len(fields) > wanted and not "".join(fields[wanted:]).strip():
        raise ManifestError(f"a tab at the end of the line; expected {KEYWORDS[keyword]}")
    if len(fields) < wanted:
        missing = "the time" if keyword == "file" and len(fields) == 2 else "a field"
        hint = " (spaces where tabs belong?)" if " " in fields[-1].strip() else ""
        raise ManifestError(f"{missing} is missing{hint}; expected {KEYWORDS[keyword]}")
    if len(fields) > wanted:
        raise ManifestError(f"{len(fields)} fields; expected {KEYWORDS[keyword]}")
    return fields


def read_manifest(folder):
    """The language (Windows-1252 bytes) and the entries (name bytes, stamp, path)."""
    if not os.path.isdir(folder):
        raise ManifestError(f"the dictionary folder {folder} does not exist")
    path = os.path.join(folder, "manifest.txt")
    if not os.path.isfile(path):
        raise ManifestError(f"the dictionary folder {folder} has no manifest.txt")
    language = None
    entries = []
    seen = {}
    for number, line in manifest_lines(path):
        if not line.strip() or line.startswith("#"):
            continue
        try:
            fields = check_fields(line)
            if fields[0] == "language":
                if language is not None:
                    raise ManifestError("a second language line")
                language = windows_1252(fields[1].strip(), "the language name")
                if not language:
                    raise ManifestError("the language name is empty")
                if len(language) > LONGEST_LANGUAGE:
                    raise ManifestError(
                        f"the language name has {len(language)} bytes in Windows-1252; the "
                        f"confirmation holds one of at most {LONGEST_LANGUAGE} "
                        f"({MESSAGE_AREA} in all)")
            else:
                name = encode_name(fields[1])
                stamp = parse_time(fields[2])
                key = folded(fields[1])
                if key in seen:
                    raise ManifestError(f"file {fields[1]} is listed twice (as {seen[key]} "
                                        "before; Windows does not tell the two apart)")
                seen[key] = fields[1]
                if len(entries) == resource_set.MOST_ENTRIES:
                    raise ManifestError(f"more than {resource_set.MOST_ENTRIES} files")
                source = os.path.abspath(os.path.join(folder, fields[1]))
                if not os.path.isfile(source):
                    raise ManifestError(f"file {fields[1]} is missing from {folder}")
                if os.path.getsize(source) > LARGEST_FILE:
                    raise ManifestError(f"file {fields[1]} is 2 GiB or larger")
                if '"' in source or "\\" in source:
                    raise ManifestError(f"the path {source} has a quote or a backslash")
                entries.append((name, stamp, source))
        except ManifestError as error:
            raise ManifestError(error.message, path, number)
    if language is None:
        raise ManifestError("no language line", path)
    if not entries and not os.environ.get("SETUP_WARNED"):
        print(f"warning: {path}: no file lines; the installer will install nothing",
              file=sys.stderr)
    return language, entries


def c_string(data):
    """A C string literal of the bytes; octal escapes never run into the next character."""
    out = []
    for byte in data:
        if 32 <= byte < 127 and chr(byte) not in '"\\?':
            out.append(chr(byte))
        else:
            out.append(f"\\{byte:03o}")
    return '"' + "".join(out) + '"'


def rc_string(data):
    """A resource-script string literal of the Windows-1252 bytes, which windres turns
    into UTF-16 as Windows-1252: octal escapes, and "" for a quote."""
    out = []
    for byte in data:
        if byte == 0x22:
            out.append('""')
        elif 32 <= byte < 127 and byte != 0x5C:
            out.append(chr(byte))
        else:
            out.append(f"\\{byte:03o}")
    return '"' + "".join(out) + '"'


def file_checksum(path, digest):
    """Size and CRC-32 of a file, read in pieces; its bytes also go into digest."""
    crc = 0
    size = 0
    with open(path, "rb") as source:
        while True:
            piece = source.read(1 << 20)
            if not piece:
                return size, crc
            crc = zlib.crc32(piece, crc)
            digest.update(piece)
            size += len(piece)


def write_if_changed(path, data):
    if os.path.exists(path):
        with open(path, "rb") as current:
            if current.read() == data:
                return
    with open(path, "wb") as target:
        target.write(data)


def generate(dictionary, output, vendor_site, company_name):
    site = windows_1252(vendor_site, "the setting VENDOR_SITE")
    if len(site) > LONGEST_SITE:
        raise ManifestError(f"the setting VENDOR_SITE has {len(site)} bytes in Windows-1252; "
                            f"the longest message it ends holds one of at most {LONGEST_SITE} "
                            f"({MESSAGE_AREA} in all)")
    company = windows_1252(company_name, "the setting COMPANY_NAME")
    language, entries = read_manifest(dictionary)
    os.makedirs(output, exist_ok=True)
    # Every byte the resource object is made of: what is generated here, and the
    # dictionary's files. Its digest decides when the object is made again, never the
    # files' times: a file replaced by other bytes with an older time is still seen.
    digest = hashlib.sha256()
    pieces = {}
    lines = ["// Generated from the dictionary's manifest.txt. Do not edit.",
             "LANGUAGE 0x13, 0x02  // 2067"]
    records = []

    def small(name, data):
        """A small resource, written to a file of its own that the script names."""
        piece = f"{name.lower()}.bin"
        pieces[piece] = data
        lines.append(f'{name} RCDATA "{os.path.join(output, piece)}"')
        return resource_set.checksum(data)

    records.append(small(resource_set.COUNT, bytes([len(entries), 0])))
    for index, (name, stamp, source) in enumerate(entries, 1):
        records.append(small(resource_set.entry_name(resource_set.NAME, index), name + b"\0"))
        records.append(small(resource_set.entry_name(resource_set.TIME, index),
                             resource_set.STAMP.pack(stamp)))
        data = resource_set.entry_name(resource_set.DATA, index)
        lines.append(f'{data} RCDATA "{source}"')
        digest.update(f"{data}\0{source}\0".encode())
        records.append(file_checksum(source, digest))
    small(resource_set.CHECKSUMS, resource_set.pack_sums(records))
    # For those who inspect the installer; the installer itself never reads it.
    small(resource_set.INFO, b"language\t" + language + b"\r\nsite\t" + site + b"\r\n")
    script = ("\n".join(lines) + "\n").encode()
    for name, data in [*pieces.items(), ("payload.rc", script)]:
        write_if_changed(os.path.join(output, name), data)
        digest.update(name.encode() + b"\0" + data)
    write_if_changed(os.path.join(output, "inputs.digest"), (digest.hexdigest() + "\n").encode())
    # The compiler checks again that both fit the messages they go into.
    constants = ("// Generated from the dictionary's manifest.txt and the build settings.\n"
                 '#include "common/global_areas.h"\n#include "common/messages.h"\n\n'
                 f"const char DictionaryLanguage[] = {c_string(language)};\n"
                 f"const char VendorSite[] = {c_string(site)};\n\n"
                 "static_assert(sizeof kConfirmationOpening - 1 + sizeof DictionaryLanguage - 1 +\n"
                 "                  sizeof kConfirmationClosing <= kTextAreaSize,\n"
                 '              "the confirmation fits MessageText");\n'
                 f"static_assert(sizeof kVersionTooOld - 1 + {LONGEST_VERSION} + "
                 "sizeof kVersionTooOldSite - 1 +\n"
                 "                  sizeof VendorSite <= kTextAreaSize,\n"
                 '              "the version refusal fits MessageText");\n'
                 "static_assert(sizeof kCompletionOpening - 1 + sizeof kCompletionWithoutLexicon - 1 +\n"
                 "                  sizeof VendorSite - 1 + sizeof kCompletionWithoutLexiconEnd <=\n"
                 "                  kTextAreaSize,\n"
                 '              "the completion report fits MessageText");\n')
    write_if_changed(os.path.join(output, "build_constants.cpp"), constants.encode())
    settings = ("// Build settings for the version record. Generated by the build.\n"
                f"#define COMPANY_NAME {rc_string(company)}\n")
    write_if_changed(os.path.join(output, "settings.rh"), settings.encode())


def main():
    if not 3 <= len(sys.argv) <= 5:
        sys.exit(__doc__)
    dictionary, output = sys.argv[1:3]
    # The environment wins, then the arguments; what neither gives takes the default.
    vendor_site = (os.environ.get("SETUP_VENDOR_SITE") or
                   (sys.argv[3] if len(sys.argv) > 3 else "") or DEFAULT_VENDOR_SITE)
    company_name = (os.environ.get("SETUP_COMPANY_NAME") or
                    (sys.argv[4] if len(sys.argv) > 4 else "") or DEFAULT_COMPANY_NAME)
    try:
        generate(dictionary, output, vendor_site, company_name)
    except ManifestError as error:
        sys.exit(str(error))
    except OSError as error:
        sys.exit(f"error: {error}")


if __name__ == "__main__":
    main()
