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
from vboard.common import EXIT_USAGE, BoardError
from vboard.powercut import Options


class CommandLineTest(unittest.TestCase):
    """What ctest, .ci/run and the docs call scripts/board with."""

    def test_build_anywhere(self):
        with tempfile.TemporaryDirectory() as folder:
            real = str(Path(folder).resolve())
            cases = [
                (["test", "--build", folder], ("test", real, [])),
                (["powercut", "5", f"--build={folder}", "--seed", "3"],
                 ("powercut", real, ["5", "--seed", "3"])),
                (["ssh", "journalctl", "-b"], ("ssh", None,
                                               ["journalctl", "-b"])),
            ]
            for argv, (command, build, args) in cases:
                with self.subTest(argv=argv):
                    got = parse(argv)
                    self.assertEqual((got[0], got[1] and str(got[1]), got[2]),
                                     (command, build, args))
        with self.assertRaisesRegex(BoardError, "no such folder"):
            parse(["test", "--build", "/no/such/folder"])

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
            for argv in ([], ["nonsense"], ["powercut", "many"]):
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
