# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import shlex
import tempfile
import unittest
from pathlib import Path

from vboard.common import Paths
from vboard.remote import Board, remote_command

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


if __name__ == "__main__":
    unittest.main()
