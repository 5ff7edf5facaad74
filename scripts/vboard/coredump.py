# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The service's cores on the board, as systemd-coredump keeps them: its
installation (what the packages recommend, left out of a device's image),
a fault posted and the core it leaves, and readers of what `coredumpctl
list` and `coredumpctl info` print. Below the checks that make faults:
supervision.py's and crash.py's."""

from __future__ import annotations

import dataclasses
import re
import signal

from .clock import Stopwatch, wait_until
from .common import SERVICE
from .image import recommended_names
from .limits import (APT_LIMIT_S, CORE_LIMIT_S, RECOVERY_LIMIT_S,
                     REMOTE_SLACK_S)
from .observe import show, wait_ready_again
from .remote import Board
from .results import Report

PROGRAM = "/usr/bin/assistant_sample"
CORE_FOLDER = "/var/lib/systemd/coredump"
# Where a core is written out uncompressed, one at a time.
DUMPED = "/var/tmp/vantor-sample.core"
# The modules whose frames are ours: by name, or by path as a program is.
OURS = re.compile(r"(?:.*/)?(assistant_sample|libvantor\w*\.so)")

# ---- coredumpctl list -------------------------------------------------------


@dataclasses.dataclass(frozen=True)
class Listed:
    pid: int
    signal: str  # SIGSEGV, whichever way the release prints it.
    corefile: str  # present, missing, none, truncated, ...
    exe: str
    size: int | None  # On disk, compressed, as the list rounds it.


def signal_name(text: str) -> str:
    """SIGSEGV for 11, SEGV or SIGSEGV: Debian 12 lists numbers."""
    if text.isdigit():
        try:
            return signal.Signals(int(text)).name
        except ValueError:
            return text
    return text if text.startswith("SIG") else "SIG" + text


def size_bytes(text: str) -> int | None:
    """Bytes of a size as systemd prints it (1024-based): 1.1M, 752.1K,
    512B."""
    match = re.fullmatch(r"([\d.]+)([BKMGT]?)", text.strip())
    if not match:
        return None
    power = "BKMGT".index(match.group(2) or "B")
    return round(float(match.group(1)) * 1024 ** power)


def parse_list(text: str) -> list[Listed]:
    """The rows of `coredumpctl list --no-legend`: TIME (several words)
    PID UID GID SIG COREFILE EXE SIZE, read from the right."""
    rows = []
    for line in text.splitlines():
        words = line.split()
        if len(words) < 8 or not words[-7].isdigit():
            continue
        pid, _, _, sig, corefile, exe, size = words[-7:]
        rows.append(Listed(int(pid), signal_name(sig), corefile, exe,
                           size_bytes(size)))
    return rows

# ---- coredumpctl info -------------------------------------------------------


@dataclasses.dataclass(frozen=True)
class Frame:
    function: str  # n/a when the trace has no name for it.
    module: str

    @property
    def named(self) -> bool:
        return self.function != "n/a"


@dataclasses.dataclass(frozen=True)
class Info:
    pid: int | None
    signal: str
    storage: str  # The core's file, or "" when none is kept.
    present: bool
    threads: list[list[Frame]]  # The thread that took the signal first.

    def named(self, thread: list[Frame]) -> int:
        return sum(frame.named for frame in thread)

    def names(self, pattern: str, first_only: bool,
              ours_only: bool = False) -> list[str]:
        """The names in the trace (of the signalled thread alone with
        first_only; in our modules alone with ours_only) that pattern
        finds."""
        threads = self.threads[:1] if first_only else self.threads
        return [f.function for t in threads for f in t
                if f.named and re.search(pattern, f.function)
                and (not ours_only or OURS.match(f.module))]


_FRAME = re.compile(r"^\s*#\d+\s+0x[0-9a-f]+ (\S+) "
                    r"\((\S+?)(?: \+ 0x[0-9a-f]+)?\)")


def parse_info(text: str) -> Info:
    """`coredumpctl info` of one core: its process, signal, storage and
    the stack trace of each thread in the journal's message."""
    def field(name: str) -> str:
        match = re.search(rf"^\s*{name}: (.*)$", text, re.MULTILINE)
        return match.group(1).strip() if match else ""

    pid = re.match(r"\d+", field("PID"))
    storage = re.match(r"(\S+)(?: \((\w+)\))?", field("Storage"))
    threads: list[list[Frame]] = []
    for line in text.splitlines():
        if re.match(r"^\s*Stack trace of thread \d+:", line):
            threads.append([])
            continue
        frame = _FRAME.match(line)
        if frame and threads:
            threads[-1].append(Frame(frame.group(1), frame.group(2)))
    signal_field = re.match(r"(\d+)", field("Signal"))
    path = storage.group(1) if storage else ""
    present = storage is not None and storage.group(2) == "present"
    return Info(int(pid.group(0)) if pid else None,
                signal_name(signal_field.group(1)) if signal_field else "",
                path if path.startswith("/") else "", present, threads)

# ---- On the board -----------------------------------------------------------


def installed_bytes(board: Board, names: list[str]) -> int:
    """What dpkg says the packages take on the board (Installed-Size)."""
    if not names:
        return 0
    sizes = board.out(["dpkg-query", "-W", "-f", "${Installed-Size}\\n",
                       *names], check=False)
    return sum(int(s) for s in sizes.split() if s.isdigit()) * 1024


def install(board: Board, report: Report) -> None:
    """systemd-coredump and libdw from the run's repository, as a device
    maker would add them to an image; the kernel's core pattern handing
    cores to it, applied here when the installation left it for the next
    boot."""
    names = recommended_names(board.paths)
    clock = Stopwatch()
    done = board.ssh(["env", "DEBIAN_FRONTEND=noninteractive", "apt-get",
                      "install", "-y", "-q", "--no-install-recommends",
                      *names], check=False, merge_stderr=True,
                     timeout=APT_LIMIT_S)
    seconds = clock.seconds()

    def pattern() -> str:
        return board.out(["cat", "/proc/sys/kernel/core_pattern"],
                         check=False)

    found = pattern()
    applied = ""
    if "systemd-coredump" not in found:
        board.ssh(["/usr/lib/systemd/systemd-sysctl", "50-coredump.conf"],
                  check=False)
        applied = f" (was {found}: applied 50-coredump.conf)"
        found = pattern()
    socket = board.out(["systemctl", "is-active", "systemd-coredump.socket"],
                       check=False)
    report.check("coredump-installed", done.returncode == 0 and
                 "systemd-coredump" in found and socket == "active",
                 f"apt-get install {' '.join(names)} in {seconds:.1f} s: "
                 f"status {done.returncode}; core_pattern {found}{applied}; "
                 f"systemd-coredump.socket {socket}")
    report.figure("coredump_packages_bytes", installed_bytes(board, names),
                  "B", f"installed size of {' '.join(names)}")


def post_fault(board: Board, fault: str, port: int, limit_s: float) -> str:
    """POSTs the host's test fault, again until its debug server answers
    200 (after a restart it listens once the host is up): the status
    line, or what the last try said."""
    def post() -> str:
        return board.script("post-fault.sh", fault, str(port),
                            check=False).stdout.strip()

    return wait_until(post, limit_s, pause_s=0.5,
                      done=lambda said: " 200 " in f"{said} ")


def listed(board: Board, pid: int | str = PROGRAM) -> list[Listed]:
    return parse_list(board.out(["coredumpctl", "list", "--no-pager",
                                 "--no-legend", str(pid)], check=False))


def wait_core(board: Board, pid: int) -> Listed | None:
    """The list's row of pid's core once it is stored, within
    CORE_LIMIT_S: compressing it takes a while on a slow CPU."""
    row = wait_until(lambda: next(iter(listed(board, pid)), None),
                     CORE_LIMIT_S, pause_s=1,
                     done=lambda row: row is not None
                     and row.corefile != "none" and row.size is not None)
    return row


@dataclasses.dataclass
class Kept:
    """A fault's core as the board kept it."""
    pid: int
    ready_s: float | None  # The fault posted -> READY again.
    row: Listed | None
    info: Info
    info_text: str
    process_kib: dict[str, int]  # VmSize, VmRSS just before the fault.
    stored: int | None  # The core's file, compressed.
    dumped: int | None  # The core written out whole (coredumpctl dump).


def forget_starts(board: Board) -> None:
    """Resets the service's start limit count: each deliberate fault is
    measured alone, not as one more of a loop (five starts in five
    minutes), which the recovery unit would end only after its wait."""
    board.ssh(["systemctl", "reset-failed", SERVICE], check=False)


def fault_and_core(board: Board, fault: str, port: int,
                   dump: bool = True) -> Kept:
    """Posts fault, waits for the service's READY again and the core;
    reads its list row and its info, the sizes of the stored core and of
    the whole core (written out to DUMPED when dump is asked for)."""
    pid = int(show(board, "MainPID").get("MainPID") or 0)
    status = board.out(["cat", f"/proc/{pid}/status"], check=False)
    kib = {key: int(value) for key, value in re.findall(
        r"^(VmSize|VmRSS):\s+(\d+) kB", status, re.MULTILINE)}
    invocation = show(board, "InvocationID").get("InvocationID", "")
    forget_starts(board)
    clock = Stopwatch()
    post_fault(board, fault, port, RECOVERY_LIMIT_S)
    ready = wait_ready_again(board, invocation, RECOVERY_LIMIT_S)
    ready_s = clock.seconds() if ready is not None else None
    row = wait_core(board, pid)
    text = board.out(["coredumpctl", "info", "--no-pager", str(pid)],
                     check=False, timeout=CORE_LIMIT_S + REMOTE_SLACK_S)
    info = parse_info(text)
    stored = dumped = None
    if info.storage:
        size = board.out(["stat", "-c", "%s", info.storage], check=False)
        stored = int(size) if size.isdigit() else None
    if dump and info.present:
        board.ssh(["coredumpctl", "dump", "--no-pager", "-o", DUMPED,
                   str(pid)], check=False, timeout=CORE_LIMIT_S)
        size = board.out(["stat", "-c", "%s", DUMPED], check=False)
        dumped = int(size) if size.isdigit() else None
    return Kept(pid, ready_s, row, info, text, kib, stored, dumped)


def check_listed(report: Report, name: str, kept: Kept,
                 wanted: str) -> bool:
    """The core listed for the program under the signal wanted, kept, and
    the service READY again."""
    row = kept.row
    ok = (row is not None and row.exe == PROGRAM and row.signal == wanted
          and row.corefile == "present" and kept.ready_s is not None)
    return report.check(
        name, ok,
        f"coredumpctl list: pid {kept.pid} {row.signal} {row.corefile} "
        f"{row.exe} ({kept.stored} B on disk); READY again "
        + (f"{kept.ready_s:.1f} s after the post" if kept.ready_s
           is not None else "not seen")
        if row else f"pid {kept.pid} not listed within {CORE_LIMIT_S} s; "
        f"READY again: {kept.ready_s is not None}")
