# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import subprocess
import tempfile
import unittest
from pathlib import Path

from debpkg import releases

from vboard import past2038, upgrade
from vboard.common import Paths
from vboard.power import Power


def dpkg_sorts_below(a, b):
    return subprocess.run(["dpkg", "--compare-versions", a, "lt", b],
                          timeout=30).returncode == 0


class NextVersionTest(unittest.TestCase):
    """The upgrade's next version must sort above the tree's in the same
    release; across releases, the later release's build of the tree above
    the earlier's."""

    def test_next_sorts_above(self):
        for suite, tree, expected in [
                ("trixie", "0.3.0~deb13u1", "0.3.0+upgrade1~deb13u1"),
                ("bookworm", "0.3.0~deb12u1", "0.3.0+upgrade1~deb12u1"),
                ("trixie", "1:2.0~rc1~deb13u1", "1:2.0~rc1+upgrade1~deb13u1"),
        ]:
            with self.subTest(suite=suite, tree=tree):
                new = upgrade.next_version(tree, releases.release(suite))
                self.assertEqual(new, expected)
                self.assertTrue(dpkg_sorts_below(tree, new))

    def test_release_upgrade_takes_the_later_build(self):
        upcoming = upgrade.next_version("0.3.0~deb12u1",
                                        releases.release("bookworm"))
        self.assertTrue(dpkg_sorts_below("0.3.0~deb12u1", "0.3.0~deb13u1"))
        self.assertTrue(dpkg_sorts_below("0.3.0~deb13u1", "0.3.1~deb12u1"))
        self.assertTrue(dpkg_sorts_below(upcoming, "0.3.1~deb13u1"))

    def test_other_release_refused(self):
        for tree in ("0.3.0~deb12u1", "0.3.0"):
            with self.subTest(tree=tree), \
                    self.assertRaisesRegex(ValueError, "Debian 13"):
                upgrade.next_version(tree, releases.release("trixie"))


class KernelTest(unittest.TestCase):
    def test_kernel_and_clock(self):
        """The upgraded release's kernel once both its files are fetched;
        the clock moved only when asked."""
        cases = [((), None, "base"), (("vmlinuz",), None, "base"),
                 (("vmlinuz", "initrd.img"), past2038.RTC_BASE, "run")]
        for fetched, rtc, booted in cases:
            with self.subTest(fetched=fetched), \
                    tempfile.TemporaryDirectory() as folder:
                paths = Paths(root=Path(folder), board_dir=Path(folder),
                              build=Path(folder))
                paths.run.mkdir()
                for name in fetched:
                    (paths.run / name).touch()
                argv = Power(paths, link=None).qemu_argv(
                    Path(folder) / "base", rtc)
                kernel = argv[argv.index("-kernel") + 1]
                initrd = argv[argv.index("-initrd") + 1]
                self.assertEqual(Path(kernel).parent.name, booted)
                self.assertEqual(Path(initrd).parent.name, booted)
                self.assertEqual("-rtc" in argv, rtc is not None)
                if rtc:
                    self.assertIn("base=2040-02-29T12:00:00", argv)


class DatedLinesTest(unittest.TestCase):
    def test_dated_lines(self):
        cases = [
            ("2040-02-29T12:00:01+0000 vantor-board sample[7]: up\n"
             "2040-02-29T12:00:02+0000 vantor-board sample[7]: muted\n",
             (2, 2)),
            # A line journalctl could not date, and its own notes.
            ("2040-02-29T12:00:01+0000 vantor-board sample[7]: up\n"
             "1901-12-13T20:45:52+0000 vantor-board sample[7]: wrapped\n"
             "-- Boot 1234 --\n", (2, 1)),
            ("", (0, 0)),
        ]
        for text, counted in cases:
            with self.subTest(text=text[:30]):
                self.assertEqual(past2038.dated_lines(text), counted)


if __name__ == "__main__":
    unittest.main()
