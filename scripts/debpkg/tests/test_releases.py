# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

from __future__ import annotations

import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from debpkg import package, releases

BOOKWORM = releases.release("bookworm")
TRIXIE = releases.release("trixie")
LIMIT_S = 60
TREE_ENTRY = """\
vantor-device (0.3.0) unstable; urgency=medium

  * A release.

 -- Vantor device team <device@vantor.invalid>  Wed, 09 Dec 2026 14:30:00 +0000
"""


def dpkg_compare(a: str, op: str, b: str) -> bool:
    return subprocess.run(["dpkg", "--compare-versions", a, op, b],
                          timeout=LIMIT_S).returncode == 0


class VersionTest(unittest.TestCase):
    def test_build_version(self) -> None:
        for version, target, built in [
                ("0.3.0", BOOKWORM, "0.3.0~deb12u1"),
                ("0.3.0", TRIXIE, "0.3.0~deb13u1"),
                ("0.3.0+upgrade1", BOOKWORM, "0.3.0+upgrade1~deb12u1"),
                ("1:0.3.0~rc1", TRIXIE, "1:0.3.0~rc1~deb13u1"),
                # Already the release's: taken as it is.
                ("0.3.0~deb13u1", TRIXIE, "0.3.0~deb13u1"),
                ("0.3.0~deb12u2", BOOKWORM, "0.3.0~deb12u2")]:
            with self.subTest(version=version, suite=target.suite):
                self.assertEqual(releases.build_version(version, target),
                                 built)
        for version, target in [("0.3.0~deb12u1", TRIXIE),
                                ("0.3.0~deb13u1", BOOKWORM)]:
            with self.subTest(version=version, suite=target.suite), \
                    self.assertRaises(ValueError):
                releases.build_version(version, target)

    def test_tree_version(self) -> None:
        for version, distribution, tree in [
                ("0.3.0~deb12u1", "bookworm", "0.3.0"),
                ("0.3.0~deb13u1", "trixie", "0.3.0"),
                ("0.3.0+upgrade1~deb12u1", "bookworm", "0.3.0+upgrade1"),
                # Another release's suffix, or no known suite: unchanged.
                ("0.3.0~deb12u1", "trixie", "0.3.0~deb12u1"),
                ("0.3.0", "unstable", "0.3.0"),
                ("0.3.0~deb13u1", "", "0.3.0~deb13u1")]:
            with self.subTest(version=version, distribution=distribution):
                self.assertEqual(releases.tree_version(version, distribution),
                                 tree)

    @unittest.skipUnless(shutil.which("dpkg"), "needs dpkg")
    def test_order_takes_the_newer_release(self) -> None:
        """What apt does with them: a device moving from 12 to 13 takes
        the 13 build, and the next release of the tree beats both."""
        tree = "0.3.0"
        b12 = releases.build_version(tree, BOOKWORM)
        b13 = releases.build_version(tree, TRIXIE)
        upgrade = releases.build_version(tree + "+upgrade1", BOOKWORM)
        for a, op, b in [(b12, "lt", b13), (b13, "lt", tree),
                         (b13, "lt", "0.3.1~deb12u1"), (b12, "lt", upgrade),
                         ("0.2.0", "lt", b12)]:
            with self.subTest(a=a, op=op, b=b):
                self.assertTrue(dpkg_compare(a, op, b))


class ChangelogTest(unittest.TestCase):
    def test_entry_date(self) -> None:
        for last, date in [
                ("Wed, 09 Dec 2026 14:30:00 +0000",
                 "Wed, 09 Dec 2026 14:30:01 +0000"),
                ("Thu, 31 Dec 2026 23:59:59 +0100",
                 "Fri, 01 Jan 2027 00:00:00 +0100")]:
            with self.subTest(last=last):
                self.assertEqual(releases.entry_date(last), date)

    @unittest.skipUnless(shutil.which("dpkg-parsechangelog"),
                         "needs dpkg-dev")
    def test_entry_as_debian_reads_it(self) -> None:
        for base, target in [("0.3.0", TRIXIE),
                             ("0.3.0+upgrade1-long-name", BOOKWORM)]:
            version = releases.build_version(base, target)
            entry = releases.changelog_entry(
                version=version, base=base, target=target,
                maintainer="Vantor device team <device@vantor.invalid>",
                date=releases.entry_date("Wed, 09 Dec 2026 14:30:00 +0000"))
            with self.subTest(base=base), \
                    tempfile.TemporaryDirectory() as folder:
                changelog = Path(folder, "changelog")
                changelog.write_text(entry + TREE_ENTRY)
                fields = subprocess.run(
                    ["dpkg-parsechangelog", "-l", changelog],
                    stdout=subprocess.PIPE, text=True, check=True,
                    timeout=LIMIT_S).stdout
                self.assertIn(f"Version: {version}\n", fields)
                self.assertIn(f"Distribution: {target.suite}\n", fields)
                self.assertIn("Date: Wed, 09 Dec 2026 14:30:01 +0000\n",
                              fields)
                # lintian's limit for a changelog line.
                self.assertLessEqual(max(map(len, entry.splitlines())), 80)


class CommandLineTest(unittest.TestCase):
    def test_parse(self) -> None:
        cases: list[tuple[list[str], str, str, Path | None, str]] = [
                ([], "trixie", "", None, ""),
                (["--suite", "bookworm", "--arch", "armhf"], "bookworm",
                 "armhf", None, ""),
                (["--out", "/tmp/x", "--version", "0.4.0", "--suite",
                  "trixie"], "trixie", "", Path("/tmp/x"), "0.4.0")]
        for argv, suite, arch, out, version in cases:
            with self.subTest(argv=argv):
                options = package.parse(argv)
                self.assertEqual((options.suite, options.arch, options.out,
                                  options.version),
                                 (suite, arch, out, version))
        for argv in (["--suite", "sid"], ["--suite"], ["--arch", "arm64"],
                     ["--out", ""], ["armhf"], ["--help"]):
            with self.subTest(argv=argv), self.assertRaises(package.Usage):
                package.parse(argv)


if __name__ == "__main__":
    unittest.main()
