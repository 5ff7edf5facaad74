# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import subprocess
import time
import unittest

from vboard import runner
from vboard.common import BoardError


class RunTest(unittest.TestCase):
    def test_failures(self):
        cases = [
            (["sh", "-c", "echo why >&2; exit 3"], {}, "exit 3: why$"),
            # Without standard error, the end of standard output says why.
            (["sh", "-c", "echo out; exit 4"], {}, "exit 4: out$"),
            (["sleep", "5"], {"timeout": 0.2}, "no end within 0.2 s"),
            (["/no/such/program"], {}, "cannot run"),
        ]
        for argv, options, message in cases:
            with self.subTest(argv=argv):
                clock = time.monotonic()
                with self.assertRaisesRegex(BoardError, message):
                    runner.run(argv, capture=True, **options)
                self.assertLess(time.monotonic() - clock, 4)

    def test_named_and_unchecked(self):
        class Mine(BoardError):
            pass

        with self.assertRaisesRegex(Mine, "^on the board: x: exit 1"):
            runner.run(["false"], what="on the board: x", error=Mine)
        self.assertEqual(runner.run(["false"], check=False).returncode, 1)
        self.assertEqual(runner.output(["echo", " a b "]), "a b")


class ChildTest(unittest.TestCase):
    def test_every_child_is_reaped(self):
        cases = [
            # (argv, how it is ended, status)
            (["true"], lambda p: runner.wait(p, 5), 0),
            (["sleep", "30"], lambda p: runner.wait(p, 0.1), None),
            (["sleep", "30"], lambda p: runner.stop(p, 5), None),
            # A child that holds off SIGTERM is killed after the grace.
            (["sh", "-c", "trap '' TERM; sleep 30"],
             lambda p: runner.stop(p, 0.2), None),
        ]
        for argv, end, status in cases:
            with self.subTest(argv=argv):
                clock = time.monotonic()
                process = runner.start(argv)
                self.assertEqual(end(process), status)
                self.assertIsNotNone(process.returncode)  # Reaped.
                self.assertLess(time.monotonic() - clock, 4)

    def test_collect(self):
        cases = [
            ("echo a; echo b", (["a", "b"], True)),
            # Overrun: what it printed until it was killed.
            ("echo a; sleep 30", (["a"], False)),
        ]
        for script, (lines, ended) in cases:
            with self.subTest(script=script):
                process = runner.start(["sh", "-c", script],
                                       stdout=subprocess.PIPE, text=True)
                out, by_itself = runner.collect(process, 1)
                self.assertEqual((out.splitlines(), by_itself),
                                 (lines, ended))
                self.assertIsNotNone(process.returncode)


if __name__ == "__main__":
    unittest.main()
