# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""A Board whose "board" is this machine: the command string that ssh would
send goes to a local sh instead, so quoting, exit statuses, time limits
and the files/ programs are exercised for real."""

import tempfile
from pathlib import Path

from vboard.common import Paths
from vboard.remote import Board


class AlwaysOn:
    def is_on(self):
        return True


class LocalBoard(Board):
    def __init__(self):
        self._folder = tempfile.TemporaryDirectory()
        folder = Path(self._folder.name)
        super().__init__(Paths(root=folder, board_dir=folder, build=folder),
                         power=AlwaysOn())
        self.folder = folder

    def _ssh_argv(self, command, tty=False):
        return ["sh", "-c", command]

    def close(self):
        self._folder.cleanup()
