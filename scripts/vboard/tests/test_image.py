# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import os
import unittest
from unittest import mock

from vboard import image
from vboard.common import Skipped
from vboard.image import find_mirror, parse_simulated_installs, release_date

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


if __name__ == "__main__":
    unittest.main()
