# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The board's power and its one network link.

qemu runs in network, mount and pid namespaces of its own, whose first
process (files/link-ns.sh) makes a tap device as the board's only link and
starts a D-Bus and an avahi-daemon for the build machine's side. Ending the
namespaces ends qemu, the daemons and the tap device, so nothing routes
anywhere else. The pid in run/sandbox.pid is the namespaces' unshare.
"""

from __future__ import annotations

import os
import signal
import string
import subprocess
import sys
import time
from pathlib import Path

from .common import (FILES, HOST_ADDRESS, REPO_PORT, SERVICE_TYPE, TAP,
                     BoardError, Paths, run)

VCPUS = 2
MEMORY_MIB = 1024
# A look with avahi-browse is stopped after this many seconds.
LOOK_LIMIT_S = 20


def _alive(pid: int) -> bool:
    """Running, and not a zombie that nobody reaped yet."""
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return False
    return stat.rpartition(")")[2].split()[0] != "Z"


def _children(pid: int) -> list[int]:
    try:
        text = Path(f"/proc/{pid}/task/{pid}/children").read_text()
    except OSError:
        return []
    return [int(child) for child in text.split()]


class Link:
    """The namespaces of one board folder (BOARD_DIR/run). Main thread
    only: the emulator's parent-death signal follows the thread that
    started it."""

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

    def running(self) -> bool:
        return self.sandbox_pid() is not None

    def link_pid(self) -> int | None:
        """The first process of the namespaces (unshare's child)."""
        pid = self.sandbox_pid()
        children = _children(pid) if pid else []
        return children[0] if children else None

    def argv(self, argv: list[str]) -> list[str]:
        """argv run on the build machine's side of the link."""
        pid = self.link_pid()
        if pid is None:
            raise BoardError("no board is running (scripts/board boot)")
        return ["nsenter", "--target", str(pid), "--net", "--mount", "--pid",
                "--", *argv]

    def qemu_argv(self, base: Path) -> list[str]:
        return ["qemu-system-arm", "-M", "virt", "-cpu", "cortex-a15",
                "-smp", str(VCPUS), "-m", str(MEMORY_MIB), "-nodefaults",
                "-display", "none", "-monitor", "none", "-no-reboot",
                "-serial", f"file:{self.run}/console.log",
                "-kernel", f"{base}/vmlinuz", "-initrd", f"{base}/initrd.img",
                "-append",
                "root=LABEL=board-root rw console=ttyAMA0 panic=1 quiet",
                "-drive",
                f"if=none,id=root,file={self.run}/board.qcow2,format=qcow2",
                "-device", "virtio-blk-device,drive=root",
                "-drive", f"if=none,id=repo,file={self.run}/repo.img,"
                "format=raw,readonly=on",
                "-device", "virtio-blk-device,drive=repo",
                "-netdev", f"tap,id=link,ifname={TAP},script=no,downscript=no",
                "-device",
                "virtio-net-device,netdev=link,mac=52:54:00:b0:a7:02"]

    def power_on(self, outlives: bool = False) -> None:
        """Powers the board on; returns once the link is up. Unless it
        outlives this process, the board ends with it, also when this
        process is killed (a test's time-out)."""
        if not (self.run / "board.qcow2").exists():
            raise BoardError("no board image (scripts/board image)")
        if self.running():
            raise BoardError("a board is running already (scripts/board stop)")
        base = Path((self.run / "base").read_text().strip())
        template = string.Template((FILES / "avahi-link.conf").read_text())
        (self.run / "avahi-link.conf").write_text(template.substitute(tap=TAP))
        for folder in ("/run/dbus", "/run/avahi-daemon"):
            os.makedirs(folder, exist_ok=True)
        for name in ("link-up", "qemu-exit"):
            (self.run / name).unlink(missing_ok=True)
        (self.run / "console.log").write_text("")
        keeper = [] if outlives else ["setpriv", "--pdeathsig", "TERM"]
        with open(self.run / "link.log", "w") as log:
            self._process = subprocess.Popen(
                [*keeper, "unshare", "--net", "--mount", "--pid", "--fork",
                 "--kill-child", "--mount-proc", "--", "bash",
                 str(FILES / "link-ns.sh"), str(self.run), TAP, HOST_ADDRESS,
                 *self.qemu_argv(base)],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                start_new_session=True)
        self._pid_file.write_text(f"{self._process.pid}\n")
        for _ in range(100):
            if (self.run / "link-up").exists():
                self._serve_repository()
                return
            if not self.running():
                break
            time.sleep(0.1)
        sys.stderr.write((self.run / "link.log").read_text(errors="replace"))
        raise BoardError("the board's link did not come up")

    def _serve_repository(self) -> None:
        """The packages' repository over HTTP on this side of the link, as
        a device maker's server; it ends with the namespaces."""
        if not (self.run / "apt").is_dir():
            return
        with open(self.run / "apt-http.log", "a") as log:
            self._server = subprocess.Popen(
                self.argv(["python3", "-m", "http.server", "--bind",
                           HOST_ADDRESS, "--directory", str(self.run / "apt"),
                           str(REPO_PORT)]),
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                start_new_session=True)

    def wait_power_off(self, limit_s: float) -> bool:
        """True once the board's qemu has ended (within limit_s)."""
        deadline = time.monotonic() + limit_s
        while self.running():
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.1)
        return True

    def tear_down(self) -> None:
        """Ends the namespaces, and with them qemu, the link and its
        daemons."""
        pid = self.sandbox_pid()
        if pid:
            try:
                os.kill(pid, signal.SIGTERM)
                if not self.wait_power_off(10):
                    os.kill(pid, signal.SIGKILL)
                    self.wait_power_off(10)
            except ProcessLookupError:
                pass
        if self._server:
            self._server.poll()  # Ended with the namespaces; reaped here.
            self._server = None
        self._pid_file.unlink(missing_ok=True)
        for socket in self.run.glob("ssh-*"):
            socket.unlink(missing_ok=True)

    def cut_power(self) -> None:
        """Kills the emulator, so whatever the guest had not written to its
        disk is lost; then ends the link."""
        pid = self.link_pid()
        for child in _children(pid) if pid else []:
            try:
                comm = Path(f"/proc/{child}/comm").read_text().strip()
                if comm == "qemu-system-arm":
                    os.kill(child, signal.SIGKILL)
            except (OSError, ProcessLookupError):
                pass
        self.tear_down()

    def browse(self) -> str:
        """avahi-browse -rpt on the build machine's side: its -p lines."""
        result = run(self.argv(["timeout", str(LOOK_LIMIT_S), "avahi-browse",
                                "-rpt", SERVICE_TYPE]),
                     check=False, capture=True, timeout=LOOK_LIMIT_S + 30)
        return result.stdout
