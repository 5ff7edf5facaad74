# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""`scripts/board crash`: what a crash leaves for its diagnosis on a board.
A crash (a write through a null pointer on the host's thread VantorCrash)
and a watchdog abort, each with the packages as shipped and again with
their -dbgsym packages installed: the cores coredumpctl keeps, their
sizes, and how much of the journal's trace has names. A shipped crash's
core read off the board by scripts/symbolize; a crash loop that the
recovery unit ends; the service's status line. The trace texts and the
symbolized core stay in BOARD_DIR/crash-SUITE/."""

from __future__ import annotations

import dataclasses
import re
import subprocess
import tempfile
from pathlib import Path

from debpkg.checks import elf_candidates, sections

from . import coredump, runner, supervision
from .clock import Stopwatch, wait_until
from .common import CONFIG, SERVICE, Paths, note
from .coredump import Kept
from .image import LIBC_SYMBOLS, symbol_names
from .limits import (APT_LIMIT_S, CORE_LIMIT_S, RECOVER_SLACK_S,
                     RECOVER_WAIT_S, RECOVERY_LIMIT_S, REMOTE_SLACK_S,
                     SERVICE_CHANGE_LIMIT_S, START_ADVERTISED_LIMIT_S)
from .observe import (journal_cursor, show, system_entries, wait_for_line,
                      wait_ready_again)
from .remote import Board
from .results import Report, fail_on_error

RECOVER_UNIT = "vantor-sample-recover"
SYMBOLIZE_LIMIT_S = 600
STATUS_LIMIT_S = 60
# systemd's and the recovery's lines about a crash loop, for the record.
RECOVERY_LINES = (r"start-limit|Start request repeated|is down: |started "
                  r"again|no longer failed|Scheduled restart|dumped core|"
                  r"Failed with result|Main process exited|Triggering "
                  r"OnFailure|vantor-sample-recover")


@dataclasses.dataclass(frozen=True)
class Fault:
    name: str  # In check names and the table.
    switch: str  # The host's fault switch.
    signal: str
    # Our function at fault, as the trace would name it, in the thread that
    # took the signal. A wedge has no one function at fault, and systemd's
    # SIGABRT lands on whichever thread: for an abort, any function of ours
    # named in any thread counts.
    culprit: str
    first_thread_only: bool


FAULTS = (Fault("crash", "crash", "SIGSEGV",
                r"WriteThroughNull|CrashOnThisThread", True),
          Fault("abort", "wedge", "SIGABRT", r".", False))


@dataclasses.dataclass(frozen=True)
class Row:
    """One cell pair of the table: a fault under a variant."""
    variant: str
    fault: str
    added_bytes: int
    named: int  # Frames with names, in the signalled thread.
    frames: int
    culprit: list[str]  # Our function(s) at fault the trace names.

    def line(self) -> str:
        return (f"{self.variant:<16} {self.fault:<6} {self.added_bytes:>10} "
                f"{self.named:>3}/{self.frames:<3} "
                + (f"yes ({', '.join(dict.fromkeys(self.culprit))})"
                   if self.culprit else "no"))


TABLE_HEAD = ("variant          fault  bytes added named/frames "
              "our function named")


def row_of(variant: str, fault: Fault, added: int, kept: Kept) -> Row:
    thread = kept.info.threads[0] if kept.info.threads else []
    return Row(variant, fault.name, added, kept.info.named(thread),
               len(thread), kept.info.names(fault.culprit,
                                            fault.first_thread_only,
                                            ours_only=True))

# ---- scripts/symbolize's output ---------------------------------------------


@dataclasses.dataclass(frozen=True)
class Symbolized:
    threads: int
    # fault_switches.cc's line in the frame of WriteThroughNull, in the
    # thread whose stack holds it.
    line: int | None
    thread: str  # That thread's heading.


def parse_symbolized(text: str) -> Symbolized:
    """gdb's `thread apply all bt` as scripts/symbolize prints it."""
    blocks = re.split(r"(?m)^(?=Thread \d+ )", text)
    threads = [b for b in blocks if b.startswith("Thread ")]
    for block in threads:
        found = re.search(r"WriteThroughNull\b.*? at \S*fault_switches\.cc:"
                          r"(\d+)", block)
        if found:
            return Symbolized(len(threads), int(found.group(1)),
                              block.splitlines()[0])
    return Symbolized(len(threads), None, "")

# ---- The recovery's and the status line's words ----------------------------


@dataclasses.dataclass(frozen=True)
class Recovery:
    delay_s: int
    round: int


def parse_recovery(text: str) -> Recovery | None:
    """The recovery unit's line for a crash loop, the last one of text."""
    found = re.findall(r"is down: a crash loop \(it failed too often to be "
                       r"restarted\); starting it again in (\d+) s "
                       r"\(recovery (\d+) within the hour\)", text)
    return Recovery(int(found[-1][0]), int(found[-1][1])) if found else None


@dataclasses.dataclass(frozen=True)
class Status:
    advertised: str | None  # The name it is advertised as.
    mdns: str  # The whole first part: why not, when not.
    microphone: str
    interactions: int | None


def parse_status(line: str) -> Status:
    """The sample's status line: "advertised as 'NAME'" or "not
    advertised: WHY", "microphone WORD", "N interaction(s)"."""
    found = re.fullmatch(r"(.*); microphone (.*?); (\d+) interactions?", line)
    if not found:
        return Status(None, line, "", None)
    name = re.fullmatch(r"advertised as '(.*)'", found.group(1))
    return Status(name.group(1) if name else None, found.group(1),
                  found.group(2), int(found.group(3)))


def parse_changes(text: str) -> list[tuple[int, str]]:
    """files/status-across.sh's lines: (ms, status line)."""
    changes = []
    for line in text.splitlines():
        ms, tab, status = line.partition("\t")
        if tab and ms.isdigit():
            changes.append((int(ms), status))
    return changes

# ---- On the board -----------------------------------------------------------


def out_dir(board: Board) -> Path:
    folder = board.paths.board_dir / f"crash-{board.paths.suite}"
    folder.mkdir(parents=True, exist_ok=True)
    return folder


TRACE_SECTIONS = (".debug_frame", ".gnu_debugdata")


def trace_section_bytes(paths: Paths) -> int:
    """What the shipped programs and libraries carry for a device's own
    crash trace (debian/add-minidebuginfo): their call frames and
    function names, in the board's packages."""
    total = 0
    with tempfile.TemporaryDirectory() as folder:
        for deb in sorted(paths.packages().glob("*.deb")):
            if "-dbgsym_" not in deb.name and "-dev_" not in deb.name:
                subprocess.run(["dpkg-deb", "-x", str(deb), folder],
                               check=True, timeout=CORE_LIMIT_S)
        for path in elf_candidates(Path(folder)):
            with path.open("rb") as candidate:
                if candidate.read(4) != b"\x7fELF":
                    continue
            listed = subprocess.run(["readelf", "-S", "-W", str(path)],
                                    capture_output=True, text=True,
                                    timeout=CORE_LIMIT_S).stdout
            total += sum(size for name, (_, size, _) in
                         sections(listed).items() if name in TRACE_SECTIONS)
    return total


def install_libc_symbols(board: Board, report: Report) -> int:
    """libc6-dbg (the C library's call frames, for a trace that starts in
    it, as a watchdog abort's does) from the run's repository; the bytes
    it adds."""
    clock = Stopwatch()
    done = board.ssh(["sh", "-c", "DEBIAN_FRONTEND=noninteractive apt-get "
                      "install -y -q --no-install-recommends \"$0\"",
                      LIBC_SYMBOLS], check=False, merge_stderr=True,
                     timeout=APT_LIMIT_S)
    (out_dir(board) / "install-libc6-dbg.log").write_text(done.stdout)
    added = coredump.installed_bytes(board, [LIBC_SYMBOLS])
    report.check("libc6-dbg-installed", done.returncode == 0,
                 f"apt-get install {LIBC_SYMBOLS} in {clock} s: status "
                 f"{done.returncode}, {added} B")
    report.figure("libc6_dbg_installed_bytes", added, "B",
                  f"what {LIBC_SYMBOLS} adds on the device")
    return added


def install_symbols(board: Board, report: Report) -> int:
    """The -dbgsym packages from the repository's debug component, which a
    source of their own names beside the device's; the bytes they add."""
    names = symbol_names(board.paths)
    source = f"/etc/apt/sources.list.d/vantor-{board.paths.suite}.sources"
    debug = "/etc/apt/sources.list.d/vantor-debug.sources"
    clock = Stopwatch()
    done = board.ssh(["sh", "-c", "to=$1; shift; sed 's/^Components: .*/"
                      "Components: debug/' \"$0\" >\"$to\" && apt-get update "
                      "-q --error-on=any && DEBIAN_FRONTEND=noninteractive "
                      "apt-get install -y -q --no-install-recommends \"$@\"",
                      source, debug, *names], check=False,
                     merge_stderr=True, timeout=APT_LIMIT_S)
    (out_dir(board) / "install-dbgsym.log").write_text(done.stdout)
    added = coredump.installed_bytes(board, names)
    report.check("dbgsym-installed", done.returncode == 0 and bool(names),
                 f"apt-get install {' '.join(names) or 'nothing'} from the "
                 f"debug component in {clock} s: status {done.returncode}, "
                 f"{added} B")
    report.figure("dbgsym_installed_bytes", added, "B",
                  "what the -dbgsym packages add on the device")
    return added


def one_variant(board: Board, report: Report, variant: str, added: int,
                keep_core: Path | None) -> list[Row]:
    """A crash and a watchdog abort: each core listed and kept, the
    service READY again, the journal's trace read. The crash's core is
    copied to keep_core when given."""
    rows = []
    for fault in FAULTS:
        label = f"{fault.name}-{variant}"
        kept = coredump.fault_and_core(board, fault.switch,
                                       supervision.DEBUG_PORT)
        (out_dir(board) / f"info-{label}.txt").write_text(kept.info_text)
        coredump.check_listed(report, f"{label}-listed", kept, fault.signal)
        row = row_of(variant, fault, added, kept)
        rows.append(row)
        report.check(f"{label}-trace", bool(kept.info.threads),
                     f"journal trace: {len(kept.info.threads)} threads; "
                     f"signalled thread {row.named} of {row.frames} frames "
                     "named; our function "
                     + (", ".join(dict.fromkeys(row.culprit)) or "not named"))
        if fault.name == "crash":
            # The function at fault and its caller: a trace that goes on
            # past the first frame.
            named = set(re.findall(r"WriteThroughNull|CrashOnThisThread",
                                   " ".join(row.culprit)))
            report.check(f"{label}-names-ours", len(named) == 2,
                         f"the journal's trace names {sorted(named)} of "
                         "WriteThroughNull and its caller CrashOnThisThread")
        report.figure(f"core_stored_{fault.name}_{variant}_bytes",
                      kept.stored, "B", f"{label}: the core kept, "
                      "compressed, in /var/lib/systemd/coredump")
        report.figure(f"core_whole_{fault.name}_{variant}_bytes",
                      kept.dumped, "B", f"{label}: the core written out "
                      "(coredumpctl dump)")
        report.figure(f"process_{fault.name}_{variant}_kib",
                      f"{kept.process_kib.get('VmSize')}/"
                      f"{kept.process_kib.get('VmRSS')}", "KiB",
                      f"{label}: VmSize/VmRSS just before")
        if kept.ready_s is not None:
            report.figure(f"{fault.name}_{variant}_to_ready_s",
                          f"{kept.ready_s:.1f}", "s",
                          f"POST /fault/{fault.switch} -> READY again")
        if keep_core is not None and fault.name == "crash":
            board.fetch(coredump.DUMPED, keep_core, timeout=CORE_LIMIT_S)
        board.ssh(["rm", "-f", coredump.DUMPED], check=False)
    return rows


def check_symbolize(board: Board, report: Report, core: Path) -> None:
    """scripts/symbolize with the board's repository on the shipped
    crash's core: the crashing thread names WriteThroughNull and its
    line."""
    argv = [str(board.paths.root / "scripts/symbolize"), "--repo",
            str(board.paths.run / "apt"), str(core)]
    clock = Stopwatch()
    done = runner.run(argv, check=False, capture=True,
                      timeout=SYMBOLIZE_LIMIT_S)
    seconds = clock.seconds()
    (out_dir(board) / "symbolize.txt").write_text(done.stdout + done.stderr)
    found = parse_symbolized(done.stdout)
    report.check("symbolize", done.returncode == 0 and found.line is not None,
                 f"{found.thread}: WriteThroughNull at fault_switches.cc:"
                 f"{found.line}, {found.threads} threads"
                 if found.line else f"exit {done.returncode}, "
                 f"{found.threads} threads, no WriteThroughNull with a line"
                 f"; {done.stderr.strip()[-200:]}")
    report.figure("symbolize_s", f"{seconds:.1f}", "s",
                  f"scripts/symbolize --repo (core of {core.stat().st_size} "
                  "B)")
    report.figure("symbolize_threads", found.threads, "", "threads in its "
                  "output")


def check_crash_loop(board: Board, report: Report) -> None:
    """One crash more than the start limit allows, each once the service
    is back: the start limit leaves the unit failed, the recovery unit says
    it was a crash loop, and the service is READY again after its wait."""
    props = show(board, "StartLimitBurst", "StartLimitIntervalUSec")
    crashes = int(props.get("StartLimitBurst") or 5) + 1
    # Starts before the loop would count towards the limit too.
    board.ssh(["systemctl", "reset-failed", SERVICE], check=False)
    posted: list[float] = []
    invocation = ""
    clock = Stopwatch()

    def back_or_failed() -> dict[str, str]:
        return show(board, "InvocationID", "ActiveState", "SubState",
                    "Result")

    # Failed, not restarting: the start limit refused the restart (the
    # result stays the crash's own, core-dump). Not 257's
    # failed-before-auto-restart, a passing state of every crash.
    def limited(p: dict[str, str]) -> bool:
        return p.get("ActiveState") == "failed" and \
            p.get("SubState") == "failed"

    def settled(p: dict[str, str]) -> bool:
        return limited(p) or (p.get("InvocationID") not in ("", invocation)
                              and p.get("ActiveState") == "active")

    failed = back_or_failed()
    while len(posted) < crashes:
        failed = wait_until(back_or_failed, RECOVERY_LIMIT_S, pause_s=0.25,
                            done=settled)
        if not settled(failed) or limited(failed):
            break
        invocation = failed.get("InvocationID", "")
        said = coredump.post_fault(board, "crash", supervision.DEBUG_PORT,
                                   RECOVERY_LIMIT_S)
        if " 200 " not in f"{said} ":
            break
        posted.append(clock.seconds())
    failed = wait_until(
        lambda: show(board, "ActiveState", "SubState", "Result",
                     "NRestarts"),
        RECOVERY_LIMIT_S, pause_s=0.5, done=limited)
    hit = limited(failed)
    report.check("crash-loop", len(posted) == crashes and hit,
                 f"{len(posted)} crashes in {posted[-1] - posted[0]:.1f} s "
                 f"(StartLimitBurst={crashes - 1} in "
                 f"{props.get('StartLimitIntervalUSec')}): "
                 f"{failed.get('ActiveState')}, result {failed.get('Result')}"
                 f", NRestarts {failed.get('NRestarts')}"
                 if posted else "no crash posted")
    if not hit:
        return
    entries = [e for e in system_entries(board)
               if "Start request repeated too quickly" in e.message]
    failed_us = max((e.monotonic_us for e in entries), default=0)
    back = wait_ready_again(board, invocation,
                            RECOVER_WAIT_S + RECOVER_SLACK_S)
    recover_log = board.out(["journalctl", "-q", "-b", "-u", RECOVER_UNIT,
                             "-o", "cat"], check=False)
    note("the recovery's lines:\n" + recover_log)
    recovery = parse_recovery(recover_log)
    report.check("crash-loop-said", recovery is not None,
                 f"{RECOVER_UNIT}: a crash loop, starting again in "
                 f"{recovery.delay_s} s (recovery {recovery.round})"
                 if recovery else f"{RECOVER_UNIT} said no crash loop")
    ready_us = int((back or {}).get("ActiveEnterTimestampMonotonic") or 0)
    seconds = (ready_us - failed_us) / 1e6 if back and failed_us else None
    limit = (recovery.delay_s if recovery else RECOVER_WAIT_S) \
        + RECOVER_SLACK_S
    report.check("crash-loop-recovered",
                 seconds is not None and seconds <= limit,
                 f"READY again {seconds:.1f} s after the start limit "
                 f"(at most {limit} s)" if seconds is not None else
                 f"not active within {RECOVER_WAIT_S + RECOVER_SLACK_S} s "
                 "of the failure")
    if seconds is not None:
        report.figure("crash_loop_recovered_s", f"{seconds:.1f}", "s",
                      "start limit hit -> READY again (the recovery's "
                      "wait and a start)")


def status_across(board: Board, until: str, *command: str
                  ) -> list[tuple[int, str]]:
    out = board.script("status-across.sh", SERVICE, str(STATUS_LIMIT_S),
                       until, *command, check=False,
                       timeout=STATUS_LIMIT_S + REMOTE_SLACK_S).stdout
    return parse_changes(out)


def check_status_line(board: Board, report: Report, name: str) -> None:
    """The status line across a mute and back, and across avahi-daemon's
    restart: what systemctl shows at each change."""
    seen: list[str] = []
    state = ["vantor-state", "--config", CONFIG, "mic"]
    for word, said in (("off", "muted"), ("on", "on")):
        changes = status_across(board, f"; microphone {said};",
                                *state, word)
        seen += [status for _, status in changes]
        last = parse_status(changes[-1][1]) if changes else None
        report.check(f"status-mic-{word}", len(changes) > 1 and last is not
                     None and last.microphone == said and
                     last.advertised == name,
                     " -> ".join(f"'{s}' ({ms} ms)" for ms, s in changes)
                     or "no status line")
    changes = status_across(board, "^advertised as ", "systemctl", "restart",
                            "avahi-daemon")
    seen += [status for _, status in changes]
    read = [parse_status(status) for _, status in changes]
    lost = next((s.mdns for s in read[1:] if s.advertised is None), None)
    report.check("status-avahi-restart",
                 lost is not None and lost.startswith("not advertised: ")
                 and read[-1].advertised == name,
                 " -> ".join(f"'{s}' ({ms} ms)" for ms, s in changes)
                 or "no status line")
    (out_dir(board) / "status-lines.txt").write_text(
        "".join(f"{line}\n" for line in seen))


def run(board: Board, report: Report, name: str) -> None:
    """Every check of `scripts/board crash`, on a board with the service
    enabled and advertised."""
    folder = out_dir(board)
    fail_on_error(report, "status-line",
                  lambda: check_status_line(board, report, name))
    coredump.install(board, report)
    cursor = journal_cursor(board)
    supervision.switch_faults_on(board)
    try:
        board.ssh(["systemctl", "restart", SERVICE],
                  timeout=SERVICE_CHANGE_LIMIT_S)
        wait_for_line(board, cursor, "Advertised ", START_ADVERTISED_LIMIT_S)
        core = folder / "crash-shipped.core"
        core.unlink(missing_ok=True)
        rows: list[Row] = []

        # Each variant adds to the one before: bytes are cumulative.
        added = trace_section_bytes(board.paths)
        report.figure("trace_sections_bytes", added, "B", "call frames and "
                      "function names in the shipped ELF files")

        def shipped() -> None:
            rows.extend(one_variant(board, report, "shipped", added, core))

        def with_libc_symbols() -> None:
            nonlocal added
            added += install_libc_symbols(board, report)
            rows.extend(one_variant(board, report, "+libc6-dbg", added,
                                    None))

        def with_symbols() -> None:
            nonlocal added
            added += install_symbols(board, report)
            rows.extend(one_variant(board, report, "+dbgsym", added, None))

        fail_on_error(report, "shipped", shipped)
        if core.exists():
            fail_on_error(report, "symbolize",
                          lambda: check_symbolize(board, report, core))
        else:
            report.fail("symbolize", "no core of the shipped crash")
        fail_on_error(report, "libc6-dbg", with_libc_symbols)
        fail_on_error(report, "dbgsym", with_symbols)
        table = "\n".join([TABLE_HEAD] + [r.line() for r in rows])
        print(table, flush=True)
        (folder / "table.txt").write_text(table + "\n")
        fail_on_error(report, "crash-loop",
                      lambda: check_crash_loop(board, report))
        kept = coredump.listed(board)
        stored = [r.size for r in kept if r.size is not None]
        report.figure("cores_listed", len(kept), "", "coredumpctl list "
                      f"{coredump.PROGRAM} at the end")
        used = board.out(["du", "-sb", coredump.CORE_FOLDER], check=False)
        report.figure("core_folder_bytes", used.split()[0] if used else "",
                      "B", f"{coredump.CORE_FOLDER} with {len(stored)} "
                      "cores")
        (folder / "coredumpctl-list.txt").write_text(board.out(
            ["coredumpctl", "list", "--no-pager"], check=False) + "\n")
        (folder / "recovery.txt").write_text("".join(
            f"{line}\n" for line in board.out(
                ["journalctl", "-q", "-b", "-u", SERVICE, "-u", RECOVER_UNIT,
                 "-o", "short-monotonic"], check=False).splitlines()
            if re.search(RECOVERY_LINES, line)))
    finally:
        supervision.switch_faults_off(board)
    board.ssh(["systemctl", "stop", SERVICE], check=False,
              timeout=SERVICE_CHANGE_LIMIT_S)
    note(f"traces, the symbolized core and the table: {folder}")
