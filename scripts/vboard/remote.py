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
import time
from pathlib import Path

from .common import (BOARD_ADDRESS, FILES, SERVICE, BoardError, Paths, note,
                     run)
from .link import Link

DEFAULT_TIMEOUT_S = 120


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

    def __init__(self, paths: Paths, link: Link | None = None) -> None:
        self.paths = paths
        self.link = link or Link(paths)

    def _ssh_argv(self, command: str | None, tty: bool = False) -> list[str]:
        try:
            base = Path((self.paths.run / "base").read_text().strip())
        except OSError:
            raise BoardError("no board is running (scripts/board boot)")
        argv = ["ssh", *(["-t"] if tty else []),
                *ssh_options(base, self.paths.run), f"root@{BOARD_ADDRESS}"]
        return self.link.argv(argv + ([command] if command is not None else []))

    def ssh(self, argv: list[str], *, check: bool = True,
            timeout: float = DEFAULT_TIMEOUT_S, input: str | None = None,
            merge_stderr: bool = False) -> subprocess.CompletedProcess:
        """Runs argv on the board; stdout (and stderr) as text."""
        try:
            result = subprocess.run(
                self._ssh_argv(remote_command(argv)), text=True,
                input=input,
                stdin=subprocess.DEVNULL if input is None else None,
                stdout=subprocess.PIPE,
                stderr=subprocess.STDOUT if merge_stderr else subprocess.PIPE,
                timeout=timeout)
        except subprocess.TimeoutExpired as e:
            raise RemoteError(f"on the board: {shlex.join(argv)[:200]}: no end "
                              f"within {timeout} s") from e
        if check and result.returncode != 0:
            why = (result.stderr or result.stdout or "").strip()[-300:]
            raise RemoteError(f"on the board: {shlex.join(argv)[:200]}: exit "
                              f"{result.returncode}" + (f": {why}" if why else ""))
        return result

    def out(self, argv: list[str], **kwargs) -> str:
        """Standard output of argv on the board, stripped."""
        return self.ssh(argv, **kwargs).stdout.strip()

    def ok(self, argv: list[str], **kwargs) -> bool:
        """Whether argv succeeds on the board."""
        return self.ssh(argv, check=False, **kwargs).returncode == 0

    def script(self, name: str, *args: str, **kwargs
               ) -> subprocess.CompletedProcess:
        """Runs files/NAME on the board with args; its standard input stays
        free for data."""
        text = (FILES / name).read_text()
        return self.ssh(["bash", "-c", text, name, *args], **kwargs)

    def popen(self, argv: list[str], **kwargs) -> subprocess.Popen:
        return subprocess.Popen(self._ssh_argv(remote_command(argv)), **kwargs)

    def interactive(self, command: str | None, tty: bool) -> int:
        """`scripts/board ssh`: a shell, or command as the board's shell
        reads it; the terminal is the user's."""
        return run(self._ssh_argv(command, tty=tty), check=False).returncode

    def wait_ssh(self, limit_s: float, pause_s: float = 1) -> bool:
        """Whether the board answers on ssh within limit_s; false at once
        when it stopped."""
        deadline = time.monotonic() + limit_s
        while time.monotonic() < deadline:
            if not self.link.running():
                return False
            try:
                if self.ok(["true"], timeout=60):
                    return True
            except BoardError:
                pass
            time.sleep(pause_s)
        return False

    def power_off(self) -> None:
        """Powers the board off from inside, then ends the link."""
        if not self.link.running():
            return
        try:
            self.ssh(["systemctl", "poweroff"], check=False, timeout=60)
        except BoardError:
            pass  # The session may end with the board before ssh does.
        if not self.link.wait_power_off(120):
            note("the board did not power off in 120 s; cut")
        self.link.tear_down()

    def journal(self, *args: str, **kwargs) -> str:
        """The service's journal lines (journalctl -q -u SERVICE ARGS)."""
        return self.ssh(["journalctl", "-q", "-u", SERVICE, *args],
                        **kwargs).stdout

    def journal_cursor(self) -> str:
        """The cursor of the service's newest entry. The unit's own: with
        -u, --after-cursor skips the first match when the cursor's entry is
        not one."""
        export = self.ssh(["journalctl", "-u", SERVICE, "-n", "1", "-o",
                           "export"], check=False).stdout
        for line in export.splitlines():
            if line.startswith("__CURSOR="):
                return line.partition("=")[2]
        return ""
