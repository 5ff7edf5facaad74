# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import contextlib
import io
import os
import tempfile
import unittest
from pathlib import Path
from unittest import mock

from vboard.__main__ import main, parse, powercut_options
from vboard.common import EXIT_USAGE, BoardError, Usage
from vboard.powercut import Options


class CommandLineTest(unittest.TestCase):
    """What ctest, .ci/run and the docs call scripts/board with."""

    def test_options_anywhere(self):
        environment = {k: v for k, v in os.environ.items()
                       if k != "BOARD_SUITE"}
        with tempfile.TemporaryDirectory() as folder, \
                mock.patch.dict(os.environ, environment, clear=True):
            real = str(Path(folder).resolve())
            cases = [
                (["test", "--build", folder], ("test", real, "trixie", [])),
                (["powercut", "5", f"--build={folder}", "--seed", "3"],
                 ("powercut", real, "trixie", ["5", "--seed", "3"])),
                (["--suite", "bookworm", "test"],
                 ("test", None, "bookworm", [])),
                (["upgrade", "--suite=trixie", "--cuts", "2"],
                 ("upgrade", None, "trixie", ["--cuts", "2"])),
                # The board's command line is the board's own.
                (["ssh", "journalctl", "-b", "--suite", "x"],
                 ("ssh", None, "trixie", ["journalctl", "-b", "--suite",
                                          "x"])),
                (["--suite", "bookworm", "ssh", "--build", "y"],
                 ("ssh", None, "bookworm", ["--build", "y"])),
            ]
            for argv, expected in cases:
                with self.subTest(argv=argv):
                    got = parse(argv)
                    self.assertEqual((got.name, got.build and str(got.build),
                                      got.suite, got.args), expected)
        with self.assertRaisesRegex(BoardError, "no such folder"):
            parse(["test", "--build", "/no/such/folder"])

    def test_suite(self):
        cases = [
            # (BOARD_SUITE, argv, suite or None for a usage error)
            ("", ["test"], "trixie"),
            ("bookworm", ["test"], "bookworm"),
            ("bookworm", ["test", "--suite", "trixie"], "trixie"),
            ("", ["test", "--suite", "buster"], None),
            ("sid", ["test"], None),
            ("", ["test", "--suite"], None),
        ]
        for environment, argv, suite in cases:
            with self.subTest(environment=environment, argv=argv), \
                    mock.patch.dict(os.environ,
                                    {"BOARD_SUITE": environment}):
                if suite is None:
                    with self.assertRaises(Usage):
                        parse(argv)
                else:
                    self.assertEqual(parse(argv).suite, suite)

    def test_powercut_options(self):
        cases = [
            ([], Options(cuts=20)),
            (["5"], Options(cuts=5)),
            (["7", "--seed", "42", "--min-s", "1", "--max-s", "3",
              "--compare-tool", "/tmp/old-state"],
             Options(cuts=7, seed=42, min_s=1, max_s=3,
                     compare_tool="/tmp/old-state")),
        ]
        for args, options in cases:
            with self.subTest(args=args):
                self.assertEqual(powercut_options(args), options)

    def test_usage(self):
        with tempfile.TemporaryDirectory() as folder, \
                mock.patch.dict(os.environ, {"BOARD_DIR": folder}):
            for argv in ([], ["nonsense"], ["powercut", "many"],
                         ["--suite", "hamm", "test"]):
                with self.subTest(argv=argv):
                    out = io.StringIO()
                    with contextlib.redirect_stdout(out):
                        self.assertEqual(main(argv), EXIT_USAGE)
                    self.assertIn("scripts/board test [--build DIR]",
                                  out.getvalue())
            out = io.StringIO()
            with contextlib.redirect_stdout(out):
                self.assertEqual(main(["status"]), 0)
            self.assertEqual(out.getvalue(), "board: not running\n")


if __name__ == "__main__":
    unittest.main()
