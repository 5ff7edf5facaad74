# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import os
import subprocess
import unittest
from pathlib import Path
from unittest import mock

from vboard import image
from vboard.common import Paths, Skipped
from vboard.image import (find_mirror, first_choices,
                          parse_simulated_installs, release_date)

DEB822 = """\
Types: deb
# http://snapshot.example/archive/debian/20250520T000000Z
URIs: http://deb.example.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.example.org/debian-security
Suites: bookworm-security
Components: main
"""


class MirrorTest(unittest.TestCase):
    def test_sources(self):
        cases = [
            # (deb822 texts, one-line texts, expected)
            ([DEB822], [], "http://deb.example.org/debian"),
            # The security suite alone is no mirror of the suite.
            ([DEB822.split("\n\n")[1]], [], None),
            # A mirror for another suite, or only sources, is not taken.
            (["Types: deb\nURIs: http://a/debian\nSuites: trixie\n"], [],
             None),
            (["Types: deb-src\nURIs: http://a/debian\nSuites: bookworm\n"],
             [], None),
            (["Types: deb\nURIs: http://a/debian\nSuites: bookworm\n"
              "Enabled: no\n"], [], None),
            # A field's value may go on over indented lines.
            (["Types: deb\nURIs:\n http://b/debian\n http://c/debian\n"
              "Suites:\n bookworm\n"], [], "http://b/debian"),
            # deb822 comes first; one-line entries are the fallback.
            ([DEB822], ["deb http://other/debian bookworm main\n"],
             "http://deb.example.org/debian"),
            ([], ["# deb http://commented/debian bookworm main\n"
                  "deb-src http://src/debian bookworm main\n"
                  "deb http://security.example/debian-security "
                  "bookworm-security main\n"
                  "deb http://m/debian bookworm main contrib\n"],
             "http://m/debian"),
            ([], ["deb [arch=amd64 signed-by=/k.gpg] http://opt/debian "
                  "bookworm main\n"], "http://opt/debian"),
            ([], ["deb [trusted=yes] http://t/debian bookworm-updates main\n"],
             None),
            ([], ["deb http://sec/debian-security bookworm main\n"], None),
        ]
        for deb822, one_line, expected in cases:
            with self.subTest(deb822=deb822, one_line=one_line):
                self.assertEqual(find_mirror(deb822, one_line, "bookworm"),
                                 expected)

    def test_security_archive(self):
        cases = [
            ([DEB822], [], "http://deb.example.org/debian-security"),
            ([DEB822.split("\n\n")[0]], [], None),
            ([], ["deb http://m/debian bookworm main\n"
                  "deb http://s/debian-security bookworm-security main\n"],
             "http://s/debian-security"),
        ]
        for deb822, one_line, expected in cases:
            with self.subTest(deb822=deb822, one_line=one_line):
                self.assertEqual(find_mirror(deb822, one_line, "bookworm",
                                             security=True), expected)

    def test_another_release_from_the_same_mirror(self):
        """A Debian 13 board from a Debian 12 machine: its mirror serves
        both; another source that names neither suite is not taken."""
        texts = {
            "/etc/apt/sources.list.d/*.sources": [
                DEB822, "Types: deb\nURIs: https://other.example/node\n"
                "Suites: nodistro\nComponents: main\n"],
            "/etc/os-release": ['NAME="Debian"\nVERSION_CODENAME=bookworm\n'],
        }
        cases = [("trixie", False, "http://deb.example.org/debian"),
                 ("trixie", True, "http://deb.example.org/debian-security"),
                 ("bookworm", False, "http://deb.example.org/debian")]
        with mock.patch.object(image, "_read_all",
                               lambda pattern: texts.get(pattern, [])):
            for suite, security, expected in cases:
                with self.subTest(suite=suite, security=security):
                    self.assertEqual(image.machine_mirror(suite, security),
                                     expected)
        with mock.patch.object(image, "_read_all", lambda pattern: []):
            self.assertIsNone(image.machine_mirror("trixie"))

    def test_own_codename(self):
        for text, codename in [
                ('ID=debian\nVERSION_CODENAME=bookworm\n', "bookworm"),
                ('VERSION_CODENAME="trixie"\n', "trixie"),
                ('ID=debian\n', None)]:
            with self.subTest(text=text):
                self.assertEqual(image.own_codename(text), codename)

    def test_base_suite(self):
        for name, suite in [("base-trixie-4ee24dfa83df1e96", "trixie"),
                            ("base-bookworm-0123456789abcdef", "bookworm"),
                            ("base-4d3c317c851d8021", None),
                            ("base-sid-0123", None)]:
            with self.subTest(name=name):
                self.assertEqual(image.base_suite(name), suite)

    def test_no_mirror_is_guessed(self):
        environment = {k: v for k, v in os.environ.items()
                       if k != "BOARD_MIRROR"}
        for override, found, expected in [
                ("http://override/debian", None, "http://override/debian"),
                ("", "http://found/debian", "http://found/debian"),
                ("", None, None)]:
            with self.subTest(override=override, found=found), \
                    mock.patch.dict(os.environ, environment, clear=True), \
                    mock.patch.object(image, "find_mirror",
                                      return_value=found):
                os.environ["BOARD_MIRROR"] = override
                if expected:
                    self.assertEqual(image.mirror(), expected)
                else:
                    with self.assertRaisesRegex(Skipped, "BOARD_MIRROR"):
                        image.mirror()

    def test_release_date(self):
        self.assertEqual(release_date(
            "Origin: Debian\nDate: Sat, 10 May 2025 08:49:39 UTC\nValid: x\n"),
            "Sat, 10 May 2025 08:49:39 UTC")
        self.assertIsNone(release_date("Origin: Debian\nNotDate: x\n"))

    def test_simulated_installs(self):
        text = ("NOTE: This is only a simulation!\n"
                "Inst libavahi-compat-libdnssd1 (0.8-10+deb12u1 Debian:12.10 "
                "[armhf])\n"
                "Inst vantor-device (1:0.3.0 local [armhf])\n"
                "Conf vantor-device (1:0.3.0 local [armhf])\n")
        self.assertEqual(parse_simulated_installs(text),
                         [("libavahi-compat-libdnssd1", "0.8-10+deb12u1"),
                          ("vantor-device", "1:0.3.0")])


class RecommendedTest(unittest.TestCase):
    """The recommends the repository carries, against the board's apt."""

    def choose(self, recommends: list[str], apt: dict[str, str]
               ) -> list[str]:
        def board_apt(paths, aptroot, args, **kwargs):
            name = args[-1]
            if name not in apt:
                return subprocess.CompletedProcess(args, 100, "", "")
            return subprocess.CompletedProcess(args, 0, apt[name], "")

        debs = [Path(f"{i}.deb") for i in range(len(recommends))]
        with mock.patch.object(image, "board_apt", board_apt), \
                mock.patch.object(image, "deb_field",
                                  lambda deb, _: recommends[int(deb.stem)]):
            return image.recommended_here(
                Paths(Path("/"), Path("/"), Path("/")), Path("/"), debs)

    def test_choices(self):
        new = "Inst {0} (1.0 Debian:13 [armhf])\nConf {0} (1.0)\n"
        cases = [
            # Debian 13: the first alternative; the base has avahi-daemon.
            (["avahi-daemon, systemd-coredump, libdw1t64 | libdw1"],
             {"avahi-daemon": "avahi-daemon is already the newest version",
              "systemd-coredump": new.format("systemd-coredump"),
              "libdw1t64": new.format("libdw1t64"),
              "libdw1": new.format("libdw1")},
             ["systemd-coredump", "libdw1t64"]),
            # Debian 12 knows only the second.
            (["libdw1t64 | libdw1"], {"libdw1": new.format("libdw1")},
             ["libdw1"]),
            # Named by two packages, chosen once; none known, none chosen.
            (["systemd-coredump", "systemd-coredump, nothing-here"],
             {"systemd-coredump": new.format("systemd-coredump")},
             ["systemd-coredump"]),
            ([""], {}, []),
        ]
        for recommends, apt, chosen in cases:
            with self.subTest(recommends=recommends):
                self.assertEqual(self.choose(recommends, apt), chosen)

    def test_recommends(self):
        cases = [
            ("systemd-coredump, libdw1t64 | libdw1",
             [["systemd-coredump"], ["libdw1t64", "libdw1"]]),
            ("libfoo (>= 1.2) | bar:any, baz [armhf]",
             [["libfoo", "bar"], ["baz"]]),
            ("", []),
        ]
        for field, choices in cases:
            with self.subTest(field=field):
                self.assertEqual(first_choices(field), choices)


if __name__ == "__main__":
    unittest.main()
