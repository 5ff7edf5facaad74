# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Commands on the board over ssh.

ssh hands the board's shell one string; Board.ssh builds it from an argv
list with shlex.join, so each argument arrives as it was given, parsed once.
A non-zero exit raises RemoteError unless the caller says it may happen
(check=False); every call has a time limit. Programs longer than one
command are files of files/, run with `bash -c` from their text.
"""

from __future__ import annotations

import shlex
import subprocess
from pathlib import Path
from typing import Any

from . import runner
from .clock import wait_until
from .common import BOARD_ADDRESS, FILES, BoardError, Paths, note
from .limits import POWER_OFF_LIMIT_S, REMOTE_LIMIT_S, SSH_TRY_LIMIT_S
from .link import Link
from .power import Power


class RemoteError(BoardError):
    pass


def remote_command(argv: list[str]) -> str:
    """The string for the board's shell that runs argv, word for word."""
    return shlex.join(argv)


def ssh_options(base: Path, run_dir: Path) -> list[str]:
    return ["-q", "-i", f"{base}/id_ed25519",
            "-o", f"UserKnownHostsFile={base}/known_hosts",
            "-o", "StrictHostKeyChecking=yes", "-o", "BatchMode=yes",
            "-o", "ConnectTimeout=10", "-o", "ServerAliveInterval=10",
            "-o", "ServerAliveCountMax=6", "-o", "ControlMaster=auto",
            "-o", f"ControlPath={run_dir}/ssh-%C", "-o", "ControlPersist=300"]


class Board:
    """The running board of one board folder, reached across its link."""

    def __init__(self, paths: Paths, link: Link | None = None,
                 power: Power | None = None) -> None:
        self.paths = paths
        self.link = link or Link(paths)
        self.power = power or Power(paths, self.link)

    def _ssh_argv(self, command: str | None, tty: bool = False) -> list[str]:
        try:
            base = Path((self.paths.run / "base").read_text().strip())
        except OSError:
            raise BoardError("no board is running (scripts/board boot)")
        argv = ["ssh", *(["-t"] if tty else []),
                *ssh_options(base, self.paths.run), f"root@{BOARD_ADDRESS}"]
        return self.link.argv(argv + ([] if command is None else [command]))

    def ssh(self, argv: list[str], *, check: bool = True,
            timeout: float = REMOTE_LIMIT_S, input: str | None = None,
            merge_stderr: bool = False) -> subprocess.CompletedProcess[str]:
        """Runs argv on the board; stdout (and stderr) as text."""
        return runner.run(
            self._ssh_argv(remote_command(argv)), check=check, timeout=timeout,
            input=input, stdin=subprocess.DEVNULL if input is None else None,
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT if merge_stderr else subprocess.PIPE,
            what=f"on the board: {shlex.join(argv)[:200]}", error=RemoteError)

    def out(self, argv: list[str], **kwargs: Any) -> str:
        """Standard output of argv on the board, stripped."""
        return self.ssh(argv, **kwargs).stdout.strip()

    def ok(self, argv: list[str], **kwargs: Any) -> bool:
        """Whether argv succeeds on the board."""
        return self.ssh(argv, check=False, **kwargs).returncode == 0

    def script(self, name: str, *args: str, **kwargs: Any
               ) -> subprocess.CompletedProcess[str]:
        """Runs files/NAME on the board with args; its standard input stays
        free for data."""
        text = (FILES / name).read_text()
        return self.ssh(["bash", "-c", text, name, *args], **kwargs)

    def fetch(self, path: str, to: Path,
              timeout: float = REMOTE_LIMIT_S) -> None:
        """Copies the board's file path to to, byte for byte."""
        with open(to, "wb") as out:
            runner.run(self._ssh_argv(remote_command(["cat", path])),
                       timeout=timeout, stdin=subprocess.DEVNULL, stdout=out,
                       stderr=subprocess.PIPE,
                       what=f"on the board: cat {path}", error=RemoteError)

    def popen(self, argv: list[str], **kwargs: Any) -> subprocess.Popen:
        """argv on the board beside the caller, who ends it (runner.wait,
        runner.stop)."""
        return runner.start(self._ssh_argv(remote_command(argv)), **kwargs)

    def interactive(self, command: str | None, tty: bool) -> int:
        """`scripts/board ssh`: a shell, or command as the board's shell
        reads it; the terminal and the session's length are the user's."""
        return runner.run(self._ssh_argv(command, tty=tty), check=False,
                          timeout=None).returncode

    def wait_ssh(self, limit_s: float, pause_s: float = 1) -> bool:
        """Whether the board answers on ssh within limit_s; false at once
        when it is off."""
        def answer() -> bool | None:
            if not self.power.is_on():
                return False
            try:
                return self.ok(["true"], timeout=SSH_TRY_LIMIT_S) or None
            except BoardError:
                return None

        return wait_until(answer, limit_s, pause_s,
                          done=lambda said: said is not None) is True

    def power_off(self) -> None:
        """Powers the board off from inside, then ends the link."""
        if not self.power.is_on():
            return
        try:
            self.ssh(["systemctl", "poweroff"], check=False,
                     timeout=SSH_TRY_LIMIT_S)
        except BoardError:
            pass  # The session may end with the board before ssh does.
        if not self.power.wait_off(POWER_OFF_LIMIT_S):
            note(f"the board did not power off in {POWER_OFF_LIMIT_S} s; cut")
        self.link.tear_down()
