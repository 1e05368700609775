"""What a publisher does with the build: several dictionaries side by side, failed builds,
settings in Windows-1252, signing (verified, time-stamped offline, reproducible), and the
inspector on good, signed and damaged installers."""

import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from support import PAYLOAD, PUBLISHER_ENV, ROOT, dictionary, make, make_dist, read
import pe_resources  # noqa: E402  (support puts scripts/ on the path)

EPOCH = "1765000000"  # 2025-12-06, inside the throwaway certificates' validity


def inspect(path):
    return subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "setup_contents.py"),
                           path], capture_output=True, text=True)


class Shipping(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="shipping ")
        cls.keys = os.path.join(cls.scratch, "keys")
        os.makedirs(cls.keys)

        def openssl(*arguments):
            subprocess.run(["openssl", *arguments], check=True, capture_output=True, cwd=cls.keys)

        # A code-signing certificate whose key has a password, and a time-stamp authority.
        pathlib.Path(cls.keys, "pass.txt").write_text("correct horse\n")
        openssl("req", "-x509", "-utf8", "-newkey", "rsa:2048", "-keyout", "key.pem", "-passout",
                "file:pass.txt", "-out", "cert.pem", "-days", "3650", "-subj",
                "/CN=Wörter Verlag/O=Wörter Verlag GmbH", "-addext",
                "extendedKeyUsage=codeSigning", "-set_serial", "1")
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "tsa.key", "-out",
                "tsa.pem", "-days", "3650", "-subj", "/CN=Test Time-Stamp Authority", "-addext",
                "extendedKeyUsage=critical,timeStamping", "-set_serial", "2")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def signing(self, **more):
        return {"SIGN_CERT": os.path.join(self.keys, "cert.pem"),
                "SIGN_KEY": os.path.join(self.keys, "key.pem"),
                "SIGN_PASS_FILE": os.path.join(self.keys, "pass.txt"), **more}

    def assert_sums(self, dist):
        digest = hashlib.sha256(read(os.path.join(dist, "setup.exe"))).hexdigest()
        self.assertEqual(read(os.path.join(dist, "SHA256SUMS")).decode(),
                         f"{digest}  setup.exe\n")
        check = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=dist, capture_output=True)
        self.assertEqual(check.returncode, 0)

    def test_two_dictionaries_at_once_into_folders_with_spaces(self):
        builds = []
        for language, extra in (("Deutsch", "DE.DIC"), ("Français", "FR.DIC")):
            source = os.path.join(self.scratch, "my dicts", language)
            dictionary(source, language, extra)
            dist = os.path.join(self.scratch, "out put", language)
            builds.append((language, extra, dist, subprocess.Popen(
                make("dist", DICTIONARY=source, DIST=dist), stdout=subprocess.PIPE,
                stderr=subprocess.PIPE, text=True, env=PUBLISHER_ENV)))
        for language, extra, dist, process in builds:
            out, err = process.communicate(timeout=600)
            self.assertEqual(process.returncode, 0, err)
            self.assertEqual(sorted(os.listdir(dist)), ["SHA256SUMS", "setup.exe"])
            self.assert_sums(dist)
            self.assert_says(inspect(os.path.join(dist, "setup.exe")), f"Language: {language}",
                             extra, "Checksums: all 10 resources match")

    def test_a_failed_build_leaves_nothing_to_ship(self):
        dist = os.path.join(self.scratch, "stale")
        broken = os.path.join(self.scratch, "broken dictionary")
        dictionary(broken, "Deutsch")
        with open(os.path.join(broken, "manifest.txt"), "a") as out:
            out.write("file\tGONE.DIC\t2020-02-02 20:20:20\n")
        for settings, said in (({"DICTIONARY": broken},
                                 "manifest.txt:4: file GONE.DIC is missing"),
                               ({"COMPANY_NAME": "Słowa GmbH"},
                                "the setting COMPANY_NAME has 'ł' (U+0142")):
            with self.subTest(said):
                self.assertEqual(make_dist(DIST=dist).returncode, 0)
                self.assertEqual(sorted(os.listdir(dist)), ["SHA256SUMS", "setup.exe"])
                result = make_dist(DIST=dist, **settings)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(said, result.stderr)
                self.assertEqual(os.listdir(dist), [], "setup.exe and SHA256SUMS removed")

    def signed_build(self, again=False):
        """This build signed at EPOCH, built once for the checks that read it (or again)."""
        dist = os.path.join(self.scratch, "signed")
        if again or not os.path.exists(os.path.join(dist, "setup.exe")):
            result = make_dist(DIST=dist, SOURCE_DATE_EPOCH=EPOCH, **self.signing())
            self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_sums(dist)
        return dist

    def assert_says(self, result, *lines, status=0):
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        for line in lines:
            self.assertIn(line, result.stdout)

    def verify(self, path, *more):
        return subprocess.run(["osslsigncode", "verify", "-in", path, "-CAfile",
                               os.path.join(self.keys, "cert.pem"), *more],
                              capture_output=True, text=True)

    def test_signed_verified_reproducible_and_time_stamped(self):
        cert = os.path.join(self.keys, "cert.pem")
        images = [read(os.path.join(self.signed_build(again), "setup.exe"))
                  for again in (False, True)]
        self.assertEqual(images[0], images[1], "signed twice, the same bytes")
        signed = os.path.join(self.scratch, "signed", "setup.exe")
        self.assert_says(self.verify(signed), "Signature verification: ok",
                         "Signing time: Dec  6 05:46:40 2025 GMT")
        self.assert_says(inspect(signed),
                         "Signature: signed by /CN=Wörter Verlag/O=Wörter Verlag GmbH",
                         "its digest matches the file", "Checksums: all 7 resources match")
        # Signing adds its table after the sections: the image's bytes are the same.
        unsigned = read(os.path.join(ROOT, "build", "dist-" + hashlib.sha256(
            os.path.join(self.scratch, "signed").encode()).hexdigest()[:16], "setup.exe"))
        table = pe_resources.PeImage(images[0]).certificates
        self.assertGreaterEqual(table[0], len(unsigned) - 8)

        # A time stamp made here by a time-stamp authority's own key, at a time inside
        # both certificates' validity (osslsigncode 2.6 and later can).
        usage = subprocess.run(["osslsigncode", "sign", "-h"], capture_output=True, text=True)
        if "-TSA-certs" not in usage.stdout + usage.stderr:
            print("\nSKIP offline time stamp: this osslsigncode has no -TSA-certs")
            self.skipTest("osslsigncode without its built-in time-stamp authority")
        now = str(int(time.time()))
        dist = os.path.dirname(signed)  # built already: signed again
        result = make_dist(DIST=dist, SOURCE_DATE_EPOCH=now, **self.signing(
            SIGN_TSA_CERTS=os.path.join(self.keys, "tsa.pem"),
            SIGN_TSA_KEY=os.path.join(self.keys, "tsa.key")))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_sums(dist)
        self.assert_says(self.verify(os.path.join(dist, "setup.exe"), "-TSA-CAfile",
                                     os.path.join(self.keys, "tsa.pem")),
                         "Timestamp Server Signature verification: ok")
        shown = inspect(os.path.join(dist, "setup.exe")).stdout
        self.assertIn("time stamp: ", shown)
        self.assertNotIn("time stamp: none", shown)

        with self.subTest("half the signing settings"):
            result = make_dist(DIST=dist, SIGN_CERT=cert)
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("signing needs both SIGN_CERT and SIGN_KEY", result.stderr)
            self.assertEqual(os.listdir(dist), [])

    def test_rebuilds_follow_content_not_times_and_settings_reach_the_image(self):
        # A file replaced by other bytes with an older time (cp -p, tar x), then settings
        # alone: each rebuild is a fresh build's bytes, and the settings reach the image.
        source = os.path.join(self.scratch, "content dictionary")
        dictionary(source, "Deutsch")
        dist = os.path.join(self.scratch, "content")
        self.assertEqual(make_dist(DICTIONARY=source, DIST=dist).returncode, 0)
        word_list = os.path.join(source, "LXWEPB.TLX")
        before = os.stat(word_list)
        changed = bytearray(read(word_list))
        changed[100] ^= 1
        pathlib.Path(word_list).write_bytes(changed)
        os.utime(word_list, (before.st_atime - 86400, before.st_mtime - 86400))
        result = make_dist(DICTIONARY=source, DIST=dist)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "", "a good build prints no warning")
        self.assertIn(hashlib.sha256(changed).hexdigest(),
                      inspect(os.path.join(dist, "setup.exe")).stdout)
        site = {"VENDOR_SITE": "www.wörter.example", "COMPANY_NAME": 'Wörter "Q" Verlag'}
        self.assertEqual(make_dist(DICTIONARY=source, DIST=dist, **site).returncode, 0)
        self.assert_says(inspect(os.path.join(dist, "setup.exe")), 'Company: Wörter "Q" Verlag',
                         "Web site: www.wörter.example")
        image = pe_resources.PeImage(read(os.path.join(dist, "setup.exe")))
        self.assertEqual(image.version_strings()["CompanyName"], 'Wörter "Q" Verlag')
        # The text the installer shows, as the program holds it: Windows-1252.
        self.assertIn(b"www.w\xf6rter.example\0", image.data)
        fresh = os.path.join(self.scratch, "content, fresh")
        self.assertEqual(make_dist(DICTIONARY=source, DIST=fresh, **site).returncode, 0)
        self.assertEqual(read(os.path.join(dist, "setup.exe")),
                         read(os.path.join(fresh, "setup.exe")))

    def test_what_would_not_fit_a_box_is_refused(self):
        dist = os.path.join(self.scratch, "too long")
        source = os.path.join(self.scratch, "long language")
        dictionary(source, "L" * 199)
        result = make_dist(DICTIONARY=source, DIST=dist)
        self.assertNotEqual(result.returncode, 0)
        # One line, and make's own word that the target failed.
        self.assertEqual(result.stderr.strip().splitlines()[0],
                         f"{source}/manifest.txt:1: the language name has 199 bytes in "
                         "Windows-1252; the confirmation holds one of at most 198 (256 in all)")
        self.assertLessEqual(len(result.stderr.strip().splitlines()), 2, result.stderr)
        self.assertFalse(os.path.exists(os.path.join(dist, "setup.exe")))
        result = make_dist(DIST=dist, VENDOR_SITE="w" * 144)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("the setting VENDOR_SITE has 144 bytes in Windows-1252; the longest "
                      "message it ends holds one of at most 143", result.stderr)
        # At the limits themselves the resource set is made.
        dictionary(os.path.join(self.scratch, "longest language"), "L" * 198)
        made = subprocess.run(
            [sys.executable, os.path.join(ROOT, "resources", "payload_resources.py"),
             os.path.join(self.scratch, "longest language"), os.path.join(self.scratch, "made"),
             "w" * 143], capture_output=True, text=True, env=PUBLISHER_ENV)
        self.assertEqual(made.returncode, 0, made.stderr)

    def test_signing_never_prompts_and_says_what_is_wrong(self):
        wrong = os.path.join(self.keys, "wrong.txt")
        pathlib.Path(wrong).write_text("incorrect horse\n")
        dist = os.path.join(self.scratch, "password")
        cases = [
            ("a wrong password", {"SIGN_PASS_FILE": wrong},
             f"the password in SIGN_PASS_FILE {wrong} does not open SIGN_KEY "
             f"{os.path.join(self.keys, 'key.pem')}"),
            ("no password for a key that has one", {"SIGN_PASS_FILE": ""},
             f"SIGN_KEY {os.path.join(self.keys, 'key.pem')} has a password: put it in a file "
             "and name that file with SIGN_PASS_FILE"),
        ]
        for what, settings, said in cases:
            with self.subTest(what):
                result = make_dist(DIST=dist, **self.signing(**settings))
                self.assertNotEqual(result.returncode, 0)
                self.assertEqual(result.stderr.strip().splitlines()[0], f"error: {said}")
                self.assertLessEqual(len(result.stderr.strip().splitlines()), 2, result.stderr)
                self.assertEqual(os.listdir(dist), [])

    def test_the_inspector_names_the_damage(self):
        dist = self.signed_build()
        built = read(os.path.join(dist, "setup.exe"))
        good = inspect(os.path.join(dist, "setup.exe"))
        self.assert_says(good, "Language: Brazilian Portuguese", "Company: Torvix Software",
                         "Web site: www.torvix.example")
        for name, size, when in (("LXWEPB.TLX", "8,385", "1997-01-06 13:44:46"),
                                 ("LXWEPB2.CLX", "310,992", "1999-11-30 17:04:48")):
            digest = hashlib.sha256(read(os.path.join(PAYLOAD, name))).hexdigest()
            self.assertRegex(good.stdout, rf"{name}\s+{size} bytes\s+{when}\s+SHA-256 {digest}")

        def damaged(change):
            image = pe_resources.PeImage(built)
            change(image)
            path = os.path.join(self.scratch, "damaged.exe")
            pathlib.Path(path).write_bytes(image.data)
            return inspect(path)

        cases = [
            ("one bit of DATA002", lambda pe: pe.flip("DATA002", 1000), '"DATA002" is damaged'),
            ("one bit of TIME001", lambda pe: pe.flip("TIME001", 0), '"TIME001" is damaged'),
            ("DATA002 missing", lambda pe: pe.rename("DATA002", "DATA00X"), '"DATA002" is missing'),
            ("no checksums", lambda pe: pe.rename("SUMS", "SUMX"), '"SUMS" (the checksums) is'),
        ]
        for what, change, named in cases:
            with self.subTest(what):
                # Signed before the damage: the signature no longer matches either.
                self.assert_says(damaged(change), "Checksums: DAMAGED", named,
                                 "does NOT match the file", "signed by /CN=Wörter Verlag",
                                 status=1)
        notes = os.path.join(self.scratch, "notes.txt")
        pathlib.Path(notes).write_text("not an installer")
        program = os.path.join(self.scratch, "program.exe")  # a Windows program, no installer
        subprocess.run(["i686-w64-mingw32-gcc", "-x", "c", "-", "-o", program],
                       input="int main(void) { return 0; }\n", text=True, check=True)
        for path, why in ((notes, "not a Windows executable"),
                          (program, "no installer resources in it")):
            shown = inspect(path)
            self.assertEqual(shown.returncode, 2)
            self.assertIn(f"is not an installer: {why}", shown.stderr)
