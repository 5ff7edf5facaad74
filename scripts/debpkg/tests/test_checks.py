# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import os
import tempfile
import unittest
from pathlib import Path

from debpkg import checks, piuparts, reproducible

LINTIAN = """\
E: vantor-device: some-error usr/bin/vantor-state
W: vantor-device: a-warning
W: vantor-device source: a-source-warning
I: vantor-device: an-info
I: vantor-device: an-info
P: vantor-device-sample: pedantic-tag
X: vantor-device-dev: experimental-tag
N: vantor-device: a note
"""


class CommandLineTest(unittest.TestCase):
    def test_parse(self) -> None:
        cases: list[tuple[list[str], set[str], list[str]]] = [
                ([], set(), []),
                (["armhf", "amd64"], set(), ["armhf", "amd64"]),
                (["--skip", "piuparts", "amd64",
                  "--skip", "reproducible"],
                 {"piuparts", "reproducible"}, ["amd64"]),
                (["--skip", "reproducible piuparts"],
                 {"reproducible", "piuparts"}, [])]
        for argv, skip, arches in cases:
            with self.subTest(argv=argv):
                options = checks.parse(argv)
                self.assertEqual((options.skip, options.arches),
                                 (skip, arches))
        for argv in (["--skip"], ["-h"], ["amd64", "--all"]):
            with self.subTest(argv=argv), self.assertRaises(checks.Usage):
                checks.parse(argv)

    def test_built_arches(self) -> None:
        with tempfile.TemporaryDirectory() as folder:
            build_deb = Path(folder)
            for arch, files in [("amd64", ["x.changes", "x.deb"]),
                                ("armhf", ["x.deb"]), (".old", ["x.changes"])]:
                (build_deb / arch).mkdir()
                for name in files:
                    (build_deb / arch / name).touch()
            (build_deb / "notes.changes").touch()
            self.assertEqual(checks.built_arches(build_deb), ["amd64"])
            self.assertEqual(checks.built_arches(build_deb / "none"), [])


class LintianTest(unittest.TestCase):
    def test_counts(self) -> None:
        for package, counts in [
                ("vantor-device", "1 E, 1 W, 2 I, 0 P, 0 X"),
                ("vantor-device-sample", "0 E, 0 W, 0 I, 1 P, 0 X"),
                ("vantor", "0 E, 0 W, 0 I, 0 P, 0 X")]:
            with self.subTest(package=package):
                self.assertEqual(checks.lintian_counts(LINTIAN, package),
                                 counts)

    def test_tally(self) -> None:
        self.assertEqual(checks.tag_tally(LINTIAN), [
            "      2 I: vantor-device: an-info",
            "      1 P: vantor-device-sample: pedantic-tag",
            "      1 X: vantor-device-dev: experimental-tag"])


class FilesTest(unittest.TestCase):
    def test_elf_candidates(self) -> None:
        with tempfile.TemporaryDirectory() as folder:
            tree = Path(folder)
            for name, mode in [("usr/bin/vantor-state", 0o755),
                               ("usr/lib/libvantor.so.1", 0o644),
                               ("usr/share/doc/README.md", 0o644),
                               ("etc/hook", 0o744)]:
                (tree / name).parent.mkdir(parents=True, exist_ok=True)
                (tree / name).touch(mode)
            os.symlink("libvantor.so.1", tree / "usr/lib/libvantor.so")
            found = [str(p.relative_to(tree))
                     for p in checks.elf_candidates(tree)]
            self.assertEqual(found, ["etc/hook", "usr/bin/vantor-state",
                                     "usr/lib/libvantor.so.1"])

    def test_same_bytes(self) -> None:
        with tempfile.TemporaryDirectory() as folder:
            a, b, c = (Path(folder, name) for name in "abc")
            a.write_bytes(b"x" * 70000)
            b.write_bytes(b"x" * 70000)
            c.write_bytes(b"x" * 69999 + b"y")
            for other, same in [(b, True), (c, False),
                                (Path(folder, "missing"), False)]:
                with self.subTest(other=other.name):
                    self.assertEqual(reproducible.same_bytes(a, other), same)

    def test_base_age(self) -> None:
        day = piuparts.DAY_S
        with tempfile.TemporaryDirectory() as folder:
            base = Path(folder, "base.tar.gz")
            self.assertTrue(piuparts.stale(base, 0))
            base.touch()
            now = base.stat().st_mtime
            # find -mtime +7: eight whole days.
            for age, stale in [(0.0, False), (7.9 * day, False),
                               (8.0 * day, True)]:
                with self.subTest(age=age):
                    self.assertEqual(piuparts.stale(base, now + age), stale)


class PiupartsTest(unittest.TestCase):
    def test_package_version(self) -> None:
        for path, version in [
                ("/b/0.2.0-amd64/vantor-device_0.2.0_amd64.deb", "0.2.0"),
                ("/my_root/c/vantor-device_1:0.2~rc1_armhf.deb", "1:0.2~rc1"),
                ("no-underscore.deb", "no-underscore.deb")]:
            with self.subTest(path=path):
                self.assertEqual(piuparts.package_version(path), version)


if __name__ == "__main__":
    unittest.main()
