# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The board's power: its emulator, run as the last process of the link's
namespaces (link.py), so that the board is on exactly while they exist.
A cut kills the emulator, so whatever the guest had not written to its disk
is lost, as in a power cut."""

from __future__ import annotations

import os
import signal
from pathlib import Path

from .common import TAP, BoardError, Paths
from .link import Link, children

VCPUS = 2
MEMORY_MIB = 1024


class Power:
    """The power of one board folder's board (BOARD_DIR/run)."""

    def __init__(self, paths: Paths, link: Link) -> None:
        self.run = paths.run
        self.link = link

    def kernel(self, base: Path) -> tuple[Path, Path]:
        """The kernel and initrd to boot: the base's, or those a release
        upgrade on the board installed (run/vmlinuz, run/initrd.img), as a
        boot loader would take the newest."""
        own = (self.run / "vmlinuz", self.run / "initrd.img")
        if all(path.exists() for path in own):
            return own
        return base / "vmlinuz", base / "initrd.img"

    def qemu_argv(self, base: Path, rtc_base: str | None = None
                  ) -> list[str]:
        """rtc_base: the date the board's real-time clock starts at (qemu's
        -rtc base=); this machine's time without it."""
        kernel, initrd = self.kernel(base)
        rtc = ["-rtc", f"base={rtc_base}"] if rtc_base else []
        return ["qemu-system-arm", "-M", "virt", "-cpu", "cortex-a15",
                "-smp", str(VCPUS), "-m", str(MEMORY_MIB), "-nodefaults",
                "-display", "none", "-monitor", "none", "-no-reboot",
                "-serial", f"file:{self.run}/console.log",
                "-kernel", str(kernel), "-initrd", str(initrd), *rtc,
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

    def is_on(self) -> bool:
        return self.link.up()

    def on(self, outlives: bool = False, rtc_base: str | None = None
           ) -> None:
        """Powers the board on; returns once the link is up. Unless it
        outlives this process, the board ends with it, also when this
        process is killed (a test's time-out)."""
        if not (self.run / "board.qcow2").exists():
            raise BoardError("no board image (scripts/board image)")
        if self.is_on():
            raise BoardError("a board is running already (scripts/board stop)")
        base = Path((self.run / "base").read_text().strip())
        (self.run / "console.log").write_text("")
        self.link.start(self.qemu_argv(base, rtc_base), outlives)

    def wait_off(self, limit_s: float) -> bool:
        """True once the emulator has ended (within limit_s)."""
        return self.link.wait_down(limit_s)

    def cut(self) -> None:
        """Kills the emulator, then ends the link."""
        pid = self.link.link_pid()
        for child in children(pid) if pid else []:
            try:
                comm = Path(f"/proc/{child}/comm").read_text().strip()
                if comm == "qemu-system-arm":
                    os.kill(child, signal.SIGKILL)
            except (OSError, ProcessLookupError):
                pass
        self.link.tear_down()
