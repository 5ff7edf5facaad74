# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import tempfile
import unittest
from pathlib import Path

from debpkg import packages
from debpkg.common import Failure, Result
from debpkg.tests.fakes import Programs

CHANGES = """\
Format: 1.8
Source: vantor-device
Binary: vantor-device vantor-device-dev vantor-device-sample
Architecture: source amd64
Version: 0.3.0
Checksums-Sha256:
 0123 4567 vantor-device_0.3.0_amd64.deb
"""
DEBUG_LISTING = """\
drwxr-xr-x root/root 0 2026-01-01 00:00 ./usr/lib/debug/.build-id/
-rw-r--r-- root/root 9 2026-01-01 00:00 ./usr/lib/debug/.build-id/ab/cd.debug
-rw-r--r-- root/root 9 2026-01-01 00:00 ./usr/lib/debug/.build-id/ef/01.debug
"""
GOOD = [f"{name}_0.3.0_amd64.deb" for name in (
    "vantor-device", "vantor-device-sample", "vantor-device-dev",
    "vantor-device-dbgsym", "vantor-device-sample-dbgsym")]


class ParseTest(unittest.TestCase):
    def test_changes(self) -> None:
        for text, version, arch in [
                (CHANGES, "0.3.0", "amd64"),
                ("Architecture: source\nVersion: 1\n", "1", ""),
                ("Architecture: source all armhf\n", "", "all")]:
            with self.subTest(text=text):
                self.assertEqual(packages.changes_version(text), version)
                self.assertEqual(packages.changes_arch(text), arch)


class LoadTest(unittest.TestCase):
    def load(self, files: list[str], tree_version: str = "0.3.0",
             listing: str = DEBUG_LISTING,
             changes: str = CHANGES) -> packages.Packages:
        programs = Programs({
            "dpkg-parsechangelog": Result(0, f"{tree_version}\n"),
            "dpkg-deb": Result(0, listing)})
        with tempfile.TemporaryDirectory() as folder:
            debs = Path(folder)
            for name in files:
                (debs / name).write_text(
                    changes if name.endswith(".changes") else "")
            found = packages.load(debs, Path("/src"), programs)
        return found

    def test_the_three_packages(self) -> None:
        found = self.load(["vantor-device_0.3.0_amd64.changes"] + GOOD)
        self.assertEqual(found.lines()[:2], ["version 0.3.0", "arch amd64"])
        self.assertEqual([line.split()[1] for line in found.lines()[2:]],
                         list(packages.NAMES))

    def test_the_tree_as_built_for_a_release(self) -> None:
        """A build's version is the tree's plus its release's suffix, and
        only its own release's."""
        for version, distribution, tree, good in [
                ("0.3.0~deb13u1", "trixie", "0.3.0", True),
                ("0.3.0~deb12u1", "bookworm", "0.3.0", True),
                ("0.3.0~deb12u1", "trixie", "0.3.0", False),
                ("0.3.0~deb13u1", "trixie", "0.4.0", False)]:
            changes = (CHANGES.replace("0.3.0", version) +
                       f"Distribution: {distribution}\n")
            files = [f"vantor-device_{version}_amd64.changes"] + [
                name.replace("0.3.0", version) for name in GOOD]
            with self.subTest(version=version, distribution=distribution,
                              tree=tree):
                if good:
                    found = self.load(files, tree, changes=changes)
                    self.assertEqual(found.version, version)
                else:
                    with self.assertRaises(Failure):
                        self.load(files, tree, changes=changes)

    def test_what_is_wrong(self) -> None:
        changes = ["vantor-device_0.3.0_amd64.changes"]
        for files, tree, listing, reason in [
                (GOOD, "0.3.0", DEBUG_LISTING, "no .changes in "),
                (changes + GOOD, "0.4.0", DEBUG_LISTING,
                 "is version 0.3.0, not the tree's"),
                (changes + GOOD[1:], "0.3.0", DEBUG_LISTING,
                 "no vantor-device_0.3.0_amd64.deb: vantor-device-dbgsym"),
                (changes + GOOD + ["other_1_amd64.deb"], "0.3.0",
                 DEBUG_LISTING, "expected three packages: other_1_amd64"),
                (changes + GOOD[:4], "0.3.0", DEBUG_LISTING,
                 "no vantor-device-sample-dbgsym_0.3.0_amd64.deb"),
                (changes + GOOD, "0.3.0", DEBUG_LISTING.splitlines()[1],
                 "vantor-device-dbgsym_0.3.0_amd64.deb holds no debug")]:
            with self.subTest(reason=reason):
                with self.assertRaises(Failure) as caught:
                    self.load(files, tree, listing)
                self.assertIn(reason, str(caught.exception))


if __name__ == "__main__":
    unittest.main()
