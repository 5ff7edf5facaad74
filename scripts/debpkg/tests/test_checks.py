# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import lzma
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from debpkg import checks, common, piuparts, reproducible

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
        cases: list[tuple[list[str], str, set[str], list[str]]] = [
                ([], "trixie", set(), []),
                (["armhf", "amd64"], "trixie", set(), ["armhf", "amd64"]),
                (["--suite", "bookworm", "--skip", "piuparts", "amd64",
                  "--skip", "reproducible"],
                 "bookworm", {"piuparts", "reproducible"}, ["amd64"]),
                (["--skip", "reproducible piuparts", "--suite", "trixie"],
                 "trixie", {"reproducible", "piuparts"}, [])]
        for argv, suite, skip, arches in cases:
            with self.subTest(argv=argv):
                options = checks.parse(argv)
                self.assertEqual((options.suite, options.skip,
                                  options.arches), (suite, skip, arches))
        for argv in (["--skip"], ["-h"], ["amd64", "--all"], ["--suite"],
                     ["--suite", "sid"], ["--suite", "amd64"]):
            with self.subTest(argv=argv), self.assertRaises(checks.Usage):
                checks.parse(argv)

    def test_built_arches(self) -> None:
        """Each suite's architectures, as scripts/package lays them out
        (build-deb/SUITE/ARCH/), one suite never seeing another's."""
        with tempfile.TemporaryDirectory() as folder:
            build_deb = Path(folder)
            for suite, arch, files in [
                    ("trixie", "amd64", ["x.changes", "x.deb"]),
                    ("trixie", "armhf", ["x.deb"]),
                    ("trixie", ".old", ["x.changes"]),
                    ("bookworm", "armhf", ["x.changes"])]:
                (build_deb / suite / arch).mkdir(parents=True)
                for name in files:
                    (build_deb / suite / arch / name).touch()
            (build_deb / "trixie/notes.changes").touch()
            for suite, arches in [("trixie", ["amd64"]),
                                  ("bookworm", ["armhf"]), ("none", [])]:
                with self.subTest(suite=suite):
                    self.assertEqual(checks.built_arches(build_deb / suite),
                                     arches)

    def test_exposure_score(self) -> None:
        for text, score in [
                ("\u2192 Overall exposure level for vantor-sample.service: "
                 "0.9 SAFE \U0001f600\n", 0.9),
                ("x\nOverall exposure level for a@b.service: 9.6 UNSAFE\n",
                 9.6),
                ("Unit vantor-sample.service not found.\n", None)]:
            with self.subTest(text=text):
                self.assertEqual(checks.exposure_score(text), score)


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
        day = common.DAY_S
        with tempfile.TemporaryDirectory() as folder:
            base = Path(folder, "base.tar.gz")
            self.assertTrue(common.stale(base, 0, 7))
            base.touch()
            now = base.stat().st_mtime
            # find -mtime +7: eight whole days.
            for age, stale in [(0.0, False), (7.9 * day, False),
                               (8.0 * day, True)]:
                with self.subTest(age=age):
                    self.assertEqual(common.stale(base, now + age, 7), stale)


class PiupartsTest(unittest.TestCase):
    def test_tests_of_each_release(self) -> None:
        """Debian 12 upgrades from 0.2.0; Debian 13, with no earlier build
        of ours, installs and purges, and comes from the tree's Debian 12
        build across a system upgrade."""
        for suite, plans in [
                ("bookworm", [(("bookworm",), "0.2.0")]),
                ("trixie", [(("trixie",), ""),
                            (("bookworm", "trixie"), "bookworm")])]:
            with self.subTest(suite=suite):
                self.assertEqual([(t.suites, t.old)
                                  for t in piuparts.tests(suite)], plans)

    def test_argv(self) -> None:
        debs = [Path("/d/a.deb")]
        base = Path("/c/bookworm.tgz")
        scripts = Path("/t/scripts/piuparts")
        for test, repo, wanted, unwanted in [
                (piuparts.Test("i", ("trixie",), ""), None,
                 ["--no-upgrade-test", "--ignore /var/cache/debconf/tmp.ci/"],
                 ["--extra-repo", "--bindmount"]),
                (piuparts.Test("u", ("bookworm", "trixie"), "bookworm"),
                 Path("/w/repo"),
                 ["--extra-repo", "deb [signed-by=/w/repo/vantor-archive-"
                  "keyring.gpg] file:///w/repo bookworm main",
                  "--bindmount", "/w/repo", "--ignore"],
                 ["--no-upgrade-test"]),
                (piuparts.Test("b", ("bookworm",), "0.2.0"), Path("/w/r"),
                 ["--extra-repo"], ["--no-upgrade-test", "--ignore"])]:
            with self.subTest(test=test.name):
                args = [str(a) for a in piuparts.argv(
                    test, base, "http://m/debian", scripts, repo, debs)]
                self.assertEqual(args[-1], "/d/a.deb")
                distributions = [args[i + 1] for i, a in enumerate(args)
                                 if a == "--distribution"]
                self.assertEqual(tuple(distributions), test.suites)
                joined = " ".join(args)
                for item in wanted:
                    self.assertIn(item, joined)
                for item in unwanted:
                    self.assertNotIn(item, args)

    def test_package_version(self) -> None:
        for path, version in [
                ("/b/0.2.0-amd64/vantor-device_0.2.0_amd64.deb", "0.2.0"),
                ("/my_root/c/vantor-device_1:0.2~rc1_armhf.deb", "1:0.2~rc1"),
                ("no-underscore.deb", "no-underscore.deb")]:
            with self.subTest(path=path):
                self.assertEqual(piuparts.package_version(path), version)


if __name__ == "__main__":
    unittest.main()


@unittest.skipUnless(shutil.which("cc") and shutil.which("objcopy"),
                     "no C compiler or objcopy")
class TraceSectionsTest(unittest.TestCase):
    """trace_sections on a real ELF file, given each part of what
    debian/add-minidebuginfo adds or a wrong one."""

    def test_cases(self) -> None:
        with tempfile.TemporaryDirectory() as folder:
            tmp = Path(folder)
            (tmp / "f.c").write_text("static int helper(int x) { return x; }\n"
                                     "int main(int c, char **v) {"
                                     " (void)v; return helper(c); }\n")
            run = (lambda *argv: subprocess.run(argv, check=True,
                                                capture_output=True))
            run("cc", "-g", "-O0", "-o", str(tmp / "full"), str(tmp / "f.c"))
            # Contents that compress: objcopy leaves a section whole where
            # compressing would not make it smaller.
            (tmp / "frame").write_bytes(bytes(4096))
            run("objcopy", "--strip-all", "--keep-symbol=helper",
                str(tmp / "full"), str(tmp / "names"))
            run("objcopy", "--strip-all", "--keep-symbol=nothing",
                str(tmp / "full"), str(tmp / "none"))
            for name in ("names", "none"):
                (tmp / f"{name}.xz").write_bytes(
                    lzma.compress((tmp / name).read_bytes()))
            (tmp / "junk.xz").write_bytes(b"not xz at all")
            frame = ["--add-section", f".debug_frame={tmp / 'frame'}",
                     "--set-section-flags", ".debug_frame=readonly,debug"]
            # An armhf file's unwind tables, which elfutils does not read.
            exidx = ["--add-section", f".ARM.exidx={tmp / 'f.c'}"]
            cases: list[tuple[str, list[str], bool, str | None]] = [
                ("stripped, frames in .eh_frame", [], False,
                 "no .gnu_debugdata"),
                ("stripped, armhf", exidx, False,
                 "no compressed .debug_frame"),
                ("frame kept whole", exidx + frame, False,
                 ".debug_frame not compressed"),
                ("no names", frame, True, "no .gnu_debugdata"),
                ("names not xz", frame + [
                    "--add-section", f".gnu_debugdata={tmp / 'junk.xz'}"],
                 True, ".gnu_debugdata is not xz"),
                ("no function named", frame + [
                    "--add-section", f".gnu_debugdata={tmp / 'none.xz'}"],
                 True, ".gnu_debugdata names no function"),
                ("both", exidx + frame + [
                    "--add-section", f".gnu_debugdata={tmp / 'names.xz'}"],
                 True, None),
                ("names, frames in .eh_frame", [
                    "--add-section", f".gnu_debugdata={tmp / 'names.xz'}"],
                 False, None)]
            for label, added, compress, want in cases:
                with self.subTest(label):
                    shipped = tmp / "shipped"
                    run("objcopy", "--strip-all", *added, str(tmp / "full"),
                        str(shipped))
                    if compress:
                        run("objcopy", "--compress-debug-sections=zlib",
                            str(shipped))
                    got = checks.trace_sections(shipped, tmp / "scratch")
                    self.assertEqual(got if got is None else
                                     got.split(":")[0], want)
