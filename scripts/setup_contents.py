#!/usr/bin/env python3
"""Prints what an installer carries, without running it (`make inspect`): its texts, files,
checksums and signature. Exit status 0 when all match, 1 when damaged or the signature
does not match, 2 when it is no installer.

    setup_contents.py [SETUP_EXE]    (default: $SETUP, else the one of $DIST)
"""

import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cmake_build  # noqa: E402
import pe_resources  # noqa: E402
import resource_set  # noqa: E402  (pe_resources puts resources/ on the path)



def check_resources(image):
    """The installer's own check: (entries, faults). entries are (name, size, stamp,
    sha256) for the files that can be read; faults name what is damaged or missing."""
    present = {r.name: image.read(r.name) for r in image.rcdata()}
    faults = []
    sums = present.get(resource_set.CHECKSUMS)
    if sums is None:
        return [], [f'"{resource_set.CHECKSUMS}" (the checksums) is missing']
    try:
        records = resource_set.read_sums(sums)
    except resource_set.SumsError as error:
        return [], [f'"{resource_set.CHECKSUMS}" is {error}']
    files = present.get(resource_set.COUNT)
    count = files[0] if files else 0
    if len(records) != 1 + len(resource_set.ENTRY_KINDS) * count:
        faults.append(f'"{resource_set.CHECKSUMS}" has {len(records)} records for {count} files')
    for name, record in zip(resource_set.lookup_order(count), records):
        data = present.get(name)
        if data is None:
            faults.append(f'"{name}" is missing')
        elif resource_set.checksum(data) != record:
            faults.append(f'"{name}" is damaged')
    entries = []
    for i in range(1, count + 1):
        name, time, data = (present.get(resource_set.entry_name(kind, i))
                            for kind in resource_set.ENTRY_KINDS)
        if name is None or time is None or data is None or len(time) < resource_set.STAMP.size:
            continue
        text = name.split(b"\0")[0].decode("cp1252", "replace")
        stamp = resource_set.STAMP.unpack_from(time)[0]
        when = resource_set.unpack_stamp(stamp)
        entries.append((text, len(data), when.strftime("%Y-%m-%d %H:%M:%S") if when else
                        f"(not a date: 0x{stamp:08X})", hashlib.sha256(data).hexdigest()))
    return entries, faults


def unescape(text):
    """osslsigncode writes the bytes of a non-ASCII name as \\xNN."""
    raw = re.sub(rb"\\x([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]),
                 text.encode("utf-8", "surrogateescape"))
    return raw.decode("utf-8", "replace")


def signer_of(table):
    """The signer's name from the leaf certificate, where osslsigncode names none; or None."""
    if len(table) <= 8:
        return None
    certs = subprocess.run(["openssl", "pkcs7", "-inform", "DER", "-print_certs"],
                           input=table[8:], capture_output=True)
    pems = re.findall(rb"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----",
                      certs.stdout, re.S)
    names = []
    for pem in pems:
        shown = subprocess.run(["openssl", "x509", "-noout", "-subject", "-issuer", "-nameopt",
                                "compat"], input=pem, capture_output=True).stdout.decode(
                                    "utf-8", "replace").splitlines()
        fields = dict(line.split("=", 1) for line in shown if "=" in line)
        names.append((fields.get("subject", "").strip(), fields.get("issuer", "").strip()))
    issuers = {issuer for subject, issuer in names if subject != issuer}
    leaves = [subject for subject, _ in names if subject not in issuers]
    return unescape(leaves[0]) if leaves else None


def signature_report(path, image):
    """(lines, whether it matches the file)."""
    if image.signature() is None:
        return ["Signature: none (Windows will say \"Unknown publisher\")"], True
    if shutil.which("osslsigncode") is None:
        return ["Signature: present (osslsigncode is needed to say by whom)"], True
    result = subprocess.run(["osslsigncode", "verify", "-in", path], capture_output=True,
                            text=True, errors="surrogateescape")
    out = result.stdout + result.stderr
    current = re.search(r"Current message digest\s*:\s*([0-9A-F]+)", out)
    calculated = re.search(r"Calculated message digest\s*:\s*([0-9A-F]+)", out)
    signer = re.search(r"Signer's certificate:\s*-+\s*Signer #0:\s*Subject:\s*(.*)", out)
    signed_at = re.search(r"Signing time:\s*(.*)", out)
    stamped_at = re.search(r"Timestamp time:\s*(.*)", out)
    matches = bool(current and calculated and current.group(1) == calculated.group(1))
    name = unescape(signer.group(1)) if signer else signer_of(image.signature())
    lines = [f"Signature: signed by {name or '(a signer whose name cannot be read)'}",
             "  its digest " + ("matches the file" if matches else
                                "does NOT match the file: it was changed after signing")]
    if signed_at:
        lines.append(f"  signing time: {signed_at.group(1).strip()}")
    lines.append(f"  time stamp: {stamped_at.group(1).strip()}" if stamped_at
                 else "  time stamp: none")
    return lines, matches


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else (
        os.environ.get("SETUP") or os.path.join(cmake_build.dist_folder(), "setup.exe"))
    try:
        with open(path, "rb") as source:
            image = pe_resources.PeImage(source.read())
        names = {r.name for r in image.rcdata()}
        if not names & {resource_set.COUNT, resource_set.CHECKSUMS}:
            raise pe_resources.NotAnInstaller("no installer resources in it")
        entries, faults = check_resources(image)
        info = dict(line.split("\t", 1) for line in
                    image.read(resource_set.INFO).decode("cp1252").splitlines() if "\t" in line) \
            if resource_set.INFO in names else {}
        version = image.version_strings()
    except OSError as error:
        print(f"error: {path}: {error.strerror}", file=sys.stderr)
        return 2
    except (ValueError, struct.error) as error:
        print(f"error: {path} is not an installer: {error}", file=sys.stderr)
        return 2

    print(f"Installer: {path} ({os.path.getsize(path):,} bytes)")
    print(f"Language: {info.get('language', '(not recorded)')}")
    print(f"Company: {version.get('CompanyName', '(not recorded)')}")
    print(f"Web site: {info.get('site', '(not recorded)')}")
    print(f"Files ({len(entries)}):")
    width = max([len(e[0]) for e in entries] + [4])
    for name, size, when, sha in entries:
        print(f"  {name:<{width}}  {size:>13,} bytes  {when}  SHA-256 {sha}")
    if faults:
        print("Checksums: DAMAGED: " + "; ".join(faults))
    else:
        print(f"Checksums: all {1 + 3 * len(entries)} resources match")
    lines, signature_matches = signature_report(path, image)
    print("\n".join(lines))
    return 1 if faults or not signature_matches else 0


if __name__ == "__main__":
    sys.exit(main())
