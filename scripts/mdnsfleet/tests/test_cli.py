# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import contextlib
import io
import unittest

from mdnsfleet.__main__ import parse_args


class OptionsTest(unittest.TestCase):
    def test_scenarios(self) -> None:
        for text, names in [
                ("all", ["daemon-restart", "sample-restart",
                         "rolling-restart", "cable-pull"]),
                ("none", []),
                ("d,a", ["cable-pull", "daemon-restart"]),
                ("sample-restart, c", ["sample-restart", "rolling-restart"])]:
            with self.subTest(text=text):
                self.assertEqual(
                    parse_args(["--scenarios", text]).scenario_list, names)

    def test_refused(self) -> None:
        for argv in [["--scenarios", "e"], ["--scenarios", "a,,b"],
                     ["--devices", "0"], ["--devices", "245"],
                     ["--bound-s", "0"], ["--quiet-s", "-1"]]:
            with self.subTest(argv=argv), \
                    contextlib.redirect_stderr(io.StringIO()), \
                    self.assertRaises(SystemExit):
                parse_args(argv)


if __name__ == "__main__":
    unittest.main()
