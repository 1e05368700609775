#!/usr/bin/env python3
"""Builds an installer into its output folder (`make dist`, settings in docs/shipping.md).
setup.exe and SHA256SUMS are removed first, so that a failed build leaves nothing to
ship; SHA256SUMS is written last, after signing."""

import hashlib
import os
import pathlib
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import cmake_build  # noqa: E402
from size_report import report  # noqa: E402


def fail(message):
    sys.exit(f"error: {message}")


def quiet(command):
    """Runs a tool that must never ask: no standard input and no terminal to open, so
    that a tool that would prompt for a password fails instead of waiting."""
    return subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          errors="replace", start_new_session=True)


def check_key(key, password_file):
    """Stops, in one line, where the key cannot be opened as it is given."""
    encrypted = b"ENCRYPTED" in pathlib.Path(key).read_bytes()
    if encrypted and not password_file:
        fail(f"SIGN_KEY {key} has a password: put it in a file and name that file with "
             "SIGN_PASS_FILE")
    arguments = ["-passin", f"file:{password_file}"] if password_file else ["-passin", "pass:"]
    if quiet(["openssl", "pkey", "-in", key, "-noout", *arguments]).returncode != 0:
        if password_file:
            fail(f"the password in SIGN_PASS_FILE {password_file} does not open SIGN_KEY {key}")
        fail(f"SIGN_KEY {key} is not a private key openssl can read")


def signing_command(unsigned, signed):
    """The osslsigncode command that signs unsigned into signed, or None."""
    cert = os.environ.get("SIGN_CERT", "")
    key = os.environ.get("SIGN_KEY", "")
    if not cert and not key:
        return None
    if not cert or not key:
        fail("signing needs both SIGN_CERT and SIGN_KEY")
    for setting in ("SIGN_CERT", "SIGN_KEY", "SIGN_PASS_FILE", "SIGN_TSA_CERTS", "SIGN_TSA_KEY"):
        path = os.environ.get(setting, "")
        if path and not os.path.isfile(path):
            fail(f"{setting}: there is no file {path}")
    check_key(key, os.environ.get("SIGN_PASS_FILE", ""))
    command = ["osslsigncode", "sign", "-h", "sha256", "-n", "Setup", "-certs", cert,
               "-key", key]
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if epoch and not epoch.isdigit():
        fail(f"SOURCE_DATE_EPOCH is {epoch!r}, not a number of seconds")
    for setting, flag in (("SIGN_PASS_FILE", "-readpass"), ("SOURCE_DATE_EPOCH", "-time"),
                          ("SIGN_TIMESTAMP_URL", "-ts")):
        if os.environ.get(setting):
            command += [flag, os.environ[setting]]
    tsa_certs = os.environ.get("SIGN_TSA_CERTS", "")
    tsa_key = os.environ.get("SIGN_TSA_KEY", "")
    if bool(tsa_certs) != bool(tsa_key):
        fail("a time stamp made here needs both SIGN_TSA_CERTS and SIGN_TSA_KEY")
    if tsa_certs:
        command += ["-TSA-certs", tsa_certs, "-TSA-key", tsa_key]
        if epoch:
            command += ["-TSA-time", epoch]
    return command + ["-in", unsigned, "-out", signed]


def main():
    dictionary = cmake_build.dictionary_folder()
    dist = cmake_build.dist_folder()
    build = cmake_build.build_folder(dist)
    setup = os.path.join(dist, "setup.exe")
    sums = os.path.join(dist, "SHA256SUMS")
    os.makedirs(dist, exist_ok=True)
    for stale in (setup, sums, setup + ".part", sums + ".part"):
        if os.path.lexists(stale):
            os.remove(stale)

    env = cmake_build.settings_env()
    # The signing settings, then the dictionary and the settings, so that a fault in
    # them is said in one line, as the reader says it, before any build tool runs.
    command = signing_command(os.path.join(build, "setup.exe"), setup + ".part")
    checked = subprocess.run([sys.executable,
                              os.path.join(ROOT, "resources", "payload_resources.py"),
                              dictionary, os.path.join(build, "generated")], env=env,
                             stderr=subprocess.PIPE, text=True)
    if checked.returncode != 0:
        sys.exit(checked.stderr.strip())
    if checked.stderr:
        print(checked.stderr, end="", file=sys.stderr)
    env["SETUP_WARNED"] = "1"  # said once is enough
    failed = cmake_build.configure(build, 32, dictionary, env)
    if failed:
        sys.exit(failed.returncode)
    # The installer alone: the tests' own programs are built where the tests need them.
    built = cmake_build.build_targets(build, "setup", env=env)
    if built.returncode != 0:
        sys.exit(built.returncode)

    part = setup + ".part"
    if command is None:
        shutil.copyfile(os.path.join(build, "setup.exe"), part)
    else:
        signed = quiet(command)
        if signed.returncode != 0:
            if os.path.lexists(part):
                os.remove(part)
            # osslsigncode's own words, without OpenSSL's internals.
            said = [line.strip() for line in (signed.stdout + signed.stderr).splitlines()
                    if line.strip() and ":error:" not in line and not line.startswith("    ")]
            fail(f"signing with {os.environ['SIGN_CERT']} failed: "
                 f"{said[-1] if said else 'osslsigncode said nothing'}")
    os.replace(part, setup)
    digest = hashlib.sha256(pathlib.Path(setup).read_bytes()).hexdigest()
    pathlib.Path(sums + ".part").write_text(f"{digest}  setup.exe\n")
    os.replace(sums + ".part", sums)
    report(setup, dictionary)
    if command is not None:
        print(f"{setup}: signed with {os.environ['SIGN_CERT']}")


if __name__ == "__main__":
    main()
