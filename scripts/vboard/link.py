# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The board's one network link, and the build machine's side of it.

The link lives in network, mount and pid namespaces of their own, whose
first process (files/link-ns.sh) makes a tap device as the board's only
link, starts a D-Bus and an avahi-daemon for the build machine's side, and
then runs what it was given (the emulator, power.py) as its last process.
Ending the namespaces ends everything in them, so nothing routes anywhere
else. The pid in run/sandbox.pid is the namespaces' unshare.
"""

from __future__ import annotations

import os
import signal
import string
import subprocess
import sys
from pathlib import Path

from . import runner
from .clock import wait_until
from .common import (FILES, HOST_ADDRESS, REPO_PORT, SERVICE_TYPE, TAP,
                     BoardError, Paths)
from .limits import (LINK_SLACK_S, LINK_UP_LIMIT_S, LOOK_LIMIT_S,
                     TEAR_DOWN_LIMIT_S)


def _alive(pid: int) -> bool:
    """Running, and not a zombie that nobody reaped yet."""
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return False
    return stat.rpartition(")")[2].split()[0] != "Z"


def children(pid: int) -> list[int]:
    try:
        text = Path(f"/proc/{pid}/task/{pid}/children").read_text()
    except OSError:
        return []
    return [int(child) for child in text.split()]


class Link:
    """The namespaces of one board folder (BOARD_DIR/run). Main thread
    only: the parent-death signal of what runs in them follows the thread
    that started them."""

    def __init__(self, paths: Paths) -> None:
        self.run = paths.run
        self._pid_file = self.run / "sandbox.pid"
        self._process: subprocess.Popen | None = None  # When started here.
        self._server: subprocess.Popen | None = None  # The repository's.

    def sandbox_pid(self) -> int | None:
        if self._process:
            self._process.poll()  # Reaps it once it ended.
        try:
            pid = int(self._pid_file.read_text())
        except (OSError, ValueError):
            return None
        return pid if _alive(pid) else None

    def up(self) -> bool:
        return self.sandbox_pid() is not None

    def link_pid(self) -> int | None:
        """The first process of the namespaces (unshare's child)."""
        pid = self.sandbox_pid()
        found = children(pid) if pid else []
        return found[0] if found else None

    def argv(self, argv: list[str]) -> list[str]:
        """argv run on the build machine's side of the link."""
        pid = self.link_pid()
        if pid is None:
            raise BoardError("no board is running (scripts/board boot)")
        return ["nsenter", "--target", str(pid), "--net", "--mount", "--pid",
                "--", *argv]

    def start(self, last: list[str], outlives: bool) -> None:
        """Makes the namespaces and the link, then runs last in them, which
        they end with; returns once the link is up and the packages'
        repository served. Unless they outlive this process, they end with
        it, also when this process is killed (a test's time-out)."""
        if self.up():
            raise BoardError("a board is running already (scripts/board stop)")
        template = string.Template((FILES / "avahi-link.conf").read_text())
        (self.run / "avahi-link.conf").write_text(template.substitute(tap=TAP))
        for folder in ("/run/dbus", "/run/avahi-daemon"):
            os.makedirs(folder, exist_ok=True)
        for name in ("link-up", "qemu-exit"):
            (self.run / name).unlink(missing_ok=True)
        keeper = [] if outlives else ["setpriv", "--pdeathsig", "TERM"]
        with open(self.run / "link.log", "w") as log:
            self._process = runner.start(
                [*keeper, "unshare", "--net", "--mount", "--pid", "--fork",
                 "--kill-child", "--mount-proc", "--", "bash",
                 str(FILES / "link-ns.sh"), str(self.run), TAP, HOST_ADDRESS,
                 *last],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        self._pid_file.write_text(f"{self._process.pid}\n")
        link_up = self.run / "link-up"
        wait_until(lambda: link_up.exists() or not self.up(),
                   LINK_UP_LIMIT_S, pause_s=0.1)
        if link_up.exists():
            self._serve_repository()
            return
        sys.stderr.write((self.run / "link.log").read_text(errors="replace"))
        raise BoardError("the board's link did not come up")

    def _serve_repository(self) -> None:
        """The packages' repository over HTTP on this side of the link, as
        a device maker's server; it ends with the namespaces."""
        if not (self.run / "apt").is_dir():
            return
        with open(self.run / "apt-http.log", "a") as log:
            self._server = runner.start(
                self.argv(["python3", "-m", "http.server", "--bind",
                           HOST_ADDRESS, "--directory", str(self.run / "apt"),
                           str(REPO_PORT)]),
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)

    def wait_down(self, limit_s: float) -> bool:
        """True once the namespaces have ended (within limit_s)."""
        return wait_until(lambda: not self.up(), limit_s, pause_s=0.1)

    def tear_down(self) -> None:
        """Ends the namespaces, and with them the link, its daemons and
        whatever runs last in them."""
        pid = self.sandbox_pid()
        if pid:
            try:
                os.kill(pid, signal.SIGTERM)
                if not self.wait_down(TEAR_DOWN_LIMIT_S):
                    os.kill(pid, signal.SIGKILL)
                    self.wait_down(TEAR_DOWN_LIMIT_S)
            except ProcessLookupError:
                pass
        for process in (self._process, self._server):
            if process and process.poll() is None:
                runner.stop(process)  # Ended with the namespaces, normally.
        self._process = self._server = None
        self._pid_file.unlink(missing_ok=True)
        for socket in self.run.glob("ssh-*"):
            socket.unlink(missing_ok=True)

    def set_up(self, up: bool) -> None:
        """Takes the board's link down, or up again, from this side."""
        runner.run(self.argv(["ip", "link", "set", TAP,
                              "up" if up else "down"]), check=False)

    def browse(self) -> str:
        """avahi-browse -rpt on the build machine's side: its -p lines."""
        result = runner.run(self.argv(["timeout", str(LOOK_LIMIT_S),
                                       "avahi-browse", "-rpt", SERVICE_TYPE]),
                            check=False, capture=True,
                            timeout=LOOK_LIMIT_S + LINK_SLACK_S)
        return result.stdout
