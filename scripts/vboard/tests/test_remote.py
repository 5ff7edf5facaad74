# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import shlex
import tempfile
import time
import unittest
from pathlib import Path

from vboard.common import Paths
from vboard.remote import Board, RemoteError, remote_command

from .localboard import LocalBoard

AWKWARD = [
    ["true"],
    ["journalctl", "-q", "--after-cursor", "s=1;i=2;b=3"],
    ["sh", "-c", 'echo "$1" $((1 + 1)) `id` && rm -rf *', "a b", "'q'"],
    ["printf", "%s\\n", "tab\there", "new\nline", "", "  "],
    ["grep", "-e", "Advertised .*: SUCCESS", "--", "-not-an-option"],
    ["echo", "é ☃", "!history", "~root", "{a,b}", "a|b>c<d"],
]


class FakeLink:
    """The link's side without namespaces: argv as given."""

    def argv(self, argv):
        return argv


class RemoteCommandTest(unittest.TestCase):
    def test_round_trip(self):
        # The board's shell splits the string as shlex.split does.
        for argv in AWKWARD:
            with self.subTest(argv=argv):
                self.assertEqual(shlex.split(remote_command(argv)), argv)

    def test_ssh_argv(self):
        with tempfile.TemporaryDirectory() as folder:
            paths = Paths(root=Path(folder), board_dir=Path(folder),
                          build=Path(folder))
            paths.run.mkdir()
            (paths.run / "base").write_text(f"{folder}/base-1\n")
            board = Board(paths, FakeLink())
            for argv in AWKWARD:
                with self.subTest(argv=argv):
                    ssh = board._ssh_argv(remote_command(argv))
                    # One word after the destination: ssh sends it as is.
                    self.assertEqual(ssh[-2], "root@169.254.77.2")
                    self.assertEqual(shlex.split(ssh[-1]), argv)
                    self.assertIn(f"UserKnownHostsFile={folder}/base-1/"
                                  "known_hosts", ssh)
                    self.assertIn("BatchMode=yes", ssh)


class LocalShellTest(unittest.TestCase):
    """What a real shell makes of the command: each word arrives as given."""

    def setUp(self):
        self.board = LocalBoard()

    def tearDown(self):
        self.board.close()

    def test_words_arrive_whole(self):
        for argv in AWKWARD[1:]:
            words = argv[1:]
            with self.subTest(words=words):
                out = self.board.ssh(["printf", "[%s]", *words]).stdout
                self.assertEqual(out, "".join(f"[{w}]" for w in words))

    def test_exit_status(self):
        with self.assertRaisesRegex(RemoteError, "exit 3: why"):
            self.board.ssh(["sh", "-c", "echo why >&2; exit 3"])
        self.assertEqual(self.board.ssh(["sh", "-c", "exit 3"],
                                        check=False).returncode, 3)
        self.assertTrue(self.board.ok(["true"]))
        self.assertFalse(self.board.ok(["false"]))

    def test_time_limit(self):
        with self.assertRaisesRegex(RemoteError, "no end within 0.2 s"):
            self.board.ssh(["sleep", "5"], timeout=0.2, check=False)

    def test_wait_ssh(self):
        class Power:
            def __init__(self, on):
                self.on = on

            def is_on(self):
                return self.on

        cases = [
            # (power on, the board's answer, answered)
            (True, "true", True),
            (True, "false", False),
            # Off: no use waiting for the limit.
            (False, "true", False),
        ]
        for on, answer, answered in cases:
            with self.subTest(on=on, answer=answer):
                self.board.power = Power(on)
                self.board._ssh_argv = lambda command, tty=False: [answer]
                clock = time.monotonic()
                self.assertEqual(self.board.wait_ssh(0.3, pause_s=0.01),
                                 answered)
                self.assertLess(time.monotonic() - clock, 2)

    def test_script_keeps_stdin_for_data(self):
        # A files/ program gets its arguments and still reads standard input.
        result = self.board.script("powercut-writer.sh", "true", "c.json",
                                   "mic", input="on\noff\n")
        self.assertEqual(result.stdout, "ok on\nok off\n")


if __name__ == "__main__":
    unittest.main()
