# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The service under systemd's supervision on the board: readiness, the
journal's priorities, the watchdog, a crash and the cores both leave, and
the memory bounds. The faults come
from the stand-in host's test aids, switched on by a runtime drop-in that
points the service at a copy of its configuration; the drop-in goes again
at the end."""

from __future__ import annotations

import json
import time

from . import coredump, parse
from .clock import Stopwatch
from .common import CONFIG, SERVICE, note
from .limits import (BROWSE_LIMIT_S, RECOVERY_LIMIT_S,
                     SERVICE_CHANGE_LIMIT_S, START_ADVERTISED_LIMIT_S,
                     SYSTEM_LINE_LIMIT_S)
from .observe import (board_now_us, board_sees, journal_cursor,
                      journal_since, main_pid, show, system_entries,
                      wait_for_line, wait_for_system_line, wait_ready_again)
from .remote import Board
from .results import Report

FAULT_DIR = "/run/vantor-test"
FAULT_CONFIG = f"{FAULT_DIR}/config.json"
DROP_IN = f"/run/systemd/system/{SERVICE}.service.d/test-faults.conf"
DEBUG_PORT = 8090
WEDGES = 3
# A slow host answers within this share of WatchdogSec and is watched for
# that many intervals; a late one answers after this share.
SLOW_SHARE = 0.55
SLOW_WATCH_INTERVALS = 2.5
LATE_SHARE = 2


def switch_faults_on(board: Board) -> None:
    """The installed configuration, with the debug server and its test
    faults, and a value of the wrong type: the plug-in's warning."""
    config = json.loads(parse.strip_comments(board.out(["cat", CONFIG])))
    host = config.setdefault("vantor_host", {})
    host.update({"debug_http_port": DEBUG_PORT, "test_faults": True})
    config.setdefault("platform_config", {})["connection_status_path"] = 5
    board.ssh(["sh", "-c", f"mkdir -p {FAULT_DIR} && cat > {FAULT_CONFIG} && "
               f"chmod 0644 {FAULT_CONFIG} && mkdir -p ${{0%/*}} && "
               f"printf '[Service]\\nEnvironment=VANTOR_CONFIG=%s\\n' "
               f"{FAULT_CONFIG} > $0 && systemctl daemon-reload", DROP_IN],
              input=json.dumps(config, indent=1))


def switch_faults_off(board: Board) -> None:
    # The faults' restarts would count towards the start limit of the
    # checks after them (an upgrade's restart hit it once a crash was one
    # of them): reset-failed resets its count.
    board.ssh(["sh", "-c", f"rm -rf {DROP_IN} {FAULT_DIR} && "
               f"systemctl daemon-reload && systemctl reset-failed {SERVICE}"
               f" && systemctl restart {SERVICE}"],
              check=False, timeout=SERVICE_CHANGE_LIMIT_S)


def check_ready(board: Board, report: Report) -> None:
    """systemctl start returns at READY; then the advertisement."""
    cursor = journal_cursor(board)
    report.check("notify-type", show(board, "Type").get("Type") == "notify",
                 f"{SERVICE} is Type={show(board, 'Type').get('Type')}")
    report.timed("restart-ready", f"systemctl restart {SERVICE} returns at "
                 "READY=1", lambda: board.ok(["systemctl", "restart", SERVICE],
                                             timeout=SERVICE_CHANGE_LIMIT_S))
    props = show(board, "InactiveExitTimestampMonotonic",
                 "ActiveEnterTimestampMonotonic")
    started = int(props.get("InactiveExitTimestampMonotonic") or 0)
    ready = int(props.get("ActiveEnterTimestampMonotonic") or 0)
    if started and ready >= started:
        report.figure("start_to_ready_s", f"{(ready - started) / 1e6:.2f}",
                      "s", "systemctl start -> READY=1 (the unit active)")
    advertised = wait_for_line(board, cursor, "Advertised ",
                               START_ADVERTISED_LIMIT_S)
    if advertised is not None and "SUCCESS" not in advertised.message:
        advertised = None
    report.check("ready-then-advertised",
                 advertised is not None and advertised.monotonic_us >= ready,
                 "'Advertised ...: SUCCESS' after READY=1")
    if advertised is not None:
        report.figure("ready_to_advertised_s",
                      f"{(advertised.monotonic_us - ready) / 1e6:.2f}", "s",
                      "READY=1 -> 'Advertised ...: SUCCESS' (journal)")


def check_priorities(board: Board, report: Report, cursor: str) -> None:
    """Every line of ours under its severity's priority; -p warning shows
    exactly the warnings."""
    entries = journal_since(board, cursor)
    ours = [e for e in entries if parse.severity_of(e.message)]
    wrong = parse.misfiled(ours)
    report.check("journal-priorities", bool(ours) and not wrong,
                 f"{len(ours)} lines, each at its severity's priority"
                 if not wrong else f"{len(wrong)} misfiled: {wrong[0]}")
    # The same span by time: with -p the cursor's own entry is no match, and
    # --after-cursor then skips the first one that is. Up to the last line
    # read above: the service goes on logging.
    first = min((e.monotonic_us for e in entries), default=0)
    last = max((e.monotonic_us for e in entries), default=0)
    warned = [e.message for e in journal_since(board, "", "-b", "-p",
                                               "warning")
              if parse.severity_of(e.message)
              and first <= e.monotonic_us <= last]
    expected = [e.message for e in ours if e.priority <= 4]
    fault = any("found type NUMBER" in line for line in warned)
    report.check("journal-warnings", fault and warned == expected,
                 f"journalctl -p warning: {len(warned)} line(s), the "
                 "configuration's warning among them" if fault
                 else "the configuration's warning is not at warning")
    counts = {p: sum(e.priority == p for e in ours) for p in (2, 3, 4, 6)}
    report.figure("journal_lines_by_priority",
                  " ".join(f"<{p}>{n}" for p, n in counts.items()), "",
                  "lines of a fault run per priority (crit, err, warning, "
                  "info)")


def check_wedges(board: Board, report: Report,
                 entry: parse.Expected) -> None:
    """A wedged host stops the pings; systemd's watchdog restarts it,
    each time, without reaching the start limit."""
    before = int(show(board, "NRestarts").get("NRestarts") or 0)
    times = []
    for wedge in range(1, WEDGES + 1):
        invocation = show(board, "InvocationID").get("InvocationID", "")
        now_us = board_now_us(board)
        clock = Stopwatch()
        posted = board.script("post-fault.sh", "wedge", str(DEBUG_PORT),
                              check=False).stdout
        props = wait_ready_again(board, invocation, RECOVERY_LIMIT_S)
        seconds = clock.seconds()
        timeout = wait_for_system_line(board, now_us, "Watchdog timeout",
                                       SYSTEM_LINE_LIMIT_S)
        ok = " 200 " in posted and props is not None and timeout
        report.check(f"wedge-{wedge}", ok,
                     f"watchdog timeout logged, READY again {seconds:.1f} s "
                     "after the wedge" if ok else
                     f"posted: {posted.strip() or 'no answer'}; watchdog "
                     f"timeout logged: {timeout}; READY again: {bool(props)}")
        if ok:
            times.append(seconds)
    props = show(board, "NRestarts", "ActiveState", "SubState", "Result")
    report.check("wedges-restarted",
                 int(props.get("NRestarts") or 0) - before == WEDGES and
                 props.get("ActiveState") == "active",
                 f"NRestarts +{int(props.get('NRestarts') or 0) - before}, "
                 f"{props.get('ActiveState')}/{props.get('SubState')}, "
                 f"result {props.get('Result')}")
    if times:
        report.figure("wedge_to_ready_s",
                      " ".join(f"{t:.1f}" for t in times), "s",
                      f"POST /fault/wedge -> READY again, {len(times)} wedges")
    report.timed("advertised-after-wedges", "listed by the board's "
                 "avahi-browse",
                 lambda: board_sees(board, entry, BROWSE_LIMIT_S))


def post_slow(board: Board, ms: int) -> bool:
    """Makes the host answer GetDeviceId ms late; whether it took it."""
    posted = board.script("post-fault.sh", f"slow?ms={ms}", str(DEBUG_PORT),
                          check=False).stdout
    return " 200 " in posted


def check_slow_hosts(board: Board, report: Report) -> None:
    """A host that turns slow within WatchdogSec keeps its pings and is not
    aborted; one slower than that is named in the journal while it hangs,
    before systemd's watchdog acts."""
    watchdog_s = parse.span_seconds(show(board, "WatchdogUSec")
                                    .get("WatchdogUSec", ""))
    if not watchdog_s:
        report.fail("watchdog-slow-host", "the unit has no WatchdogSec")
        return
    check_slow_host(board, report, watchdog_s)
    check_late_host(board, report, watchdog_s)


def check_slow_host(board: Board, report: Report, watchdog_s: float) -> None:
    invocation = show(board, "InvocationID").get("InvocationID", "")
    now_us = board_now_us(board)
    slow_ms = int(watchdog_s * 1000 * SLOW_SHARE)
    posted = post_slow(board, slow_ms)
    time.sleep(watchdog_s * SLOW_WATCH_INTERVALS)
    same = show(board, "InvocationID").get("InvocationID", "") == invocation
    timeout = wait_for_system_line(board, now_us, "Watchdog timeout", 0)
    entries = journal_since(board, "", "-b")
    late = parse.first_after(entries, "Watchdog: the host has not answered",
                             now_us)
    posted = post_slow(board, 0) and posted
    report.check("watchdog-slow-host",
                 posted and same and not timeout and late is None,
                 f"answers {slow_ms} ms late for "
                 f"{watchdog_s * SLOW_WATCH_INTERVALS:.0f} s at WatchdogSec="
                 f"{watchdog_s:.0f}s: "
                 f"{'same process' if same else 'restarted'}, "
                 f"{'a' if timeout else 'no'} watchdog timeout, "
                 f"{'a' if late else 'no'} late warning")


def check_late_host(board: Board, report: Report, watchdog_s: float) -> None:
    invocation = show(board, "InvocationID").get("InvocationID", "")
    now_us = board_now_us(board)
    posted = post_slow(board, int(watchdog_s * 1000 * LATE_SHARE))
    again = wait_ready_again(board, invocation, RECOVERY_LIMIT_S)
    entries = journal_since(board, "", "-b")
    late = parse.first_after(entries, "Watchdog: the host has not answered",
                             now_us)
    abort = parse.first_after(system_entries(board), "Watchdog timeout",
                              now_us)
    if (posted and again is not None and late is not None and
            abort is not None and late.priority == 4 and
            late.monotonic_us < abort.monotonic_us):
        ahead_s = (abort.monotonic_us - late.monotonic_us) / 1e6
        report.check("watchdog-late-host-named", True,
                     f"named {ahead_s:.1f} s before systemd's watchdog "
                     "timeout: " + late.message)
    else:
        report.fail("watchdog-late-host-named",
                    f"posted {posted}; late warning "
                    f"{late.message if late else 'none'}; watchdog timeout "
                    f"{'logged' if abort else 'none'}; READY again "
                    f"{bool(again)}")


def check_crash_cores(board: Board, report: Report) -> None:
    """A crash after the watchdog's aborts: its core listed as SIGSEGV
    and each abort's as SIGABRT, the service READY again."""
    kept = coredump.fault_and_core(board, "crash", DEBUG_PORT, dump=False)
    coredump.check_listed(report, "crash-core-listed", kept, "SIGSEGV")
    aborts = [r for r in coredump.listed(board) if r.signal == "SIGABRT"]
    report.check("abort-cores-listed",
                 len(aborts) >= WEDGES and
                 all(r.corefile == "present" for r in aborts),
                 f"{len(aborts)} SIGABRT cores of {coredump.PROGRAM} "
                 f"({' '.join(r.corefile for r in aborts)}) after {WEDGES} "
                 "wedges and a late host")
    if kept.stored:
        report.figure("core_stored_crash_bytes", kept.stored, "B",
                      "the crash's core as kept, compressed")


def check_memory(board: Board, report: Report) -> None:
    """The memory controller, the unit's bounds, and an oom-kill that
    ends in READY and the advertisement again."""
    controllers = board.out(["cat", "/sys/fs/cgroup/cgroup.controllers"],
                            check=False).split()
    report.check("memory-controller", "memory" in controllers,
                 f"cgroup.controllers: {' '.join(controllers) or 'none'}")
    props = show(board, "MemoryHigh", "MemoryMax", "ControlGroup")
    report.figure("memory_high_max", f"{props.get('MemoryHigh')}/"
                  f"{props.get('MemoryMax')}", "B", "the unit's MemoryHigh/"
                  "MemoryMax")
    score = board.out(["cat", f"/proc/{main_pid(board)}/oom_score_adj"],
                      check=False)
    report.check("oom-score", score.isdigit() and int(score) > 0,
                 f"oom_score_adj {score or 'unknown'}")
    if "memory" not in controllers:
        report.skip("oom-kill", "no memory controller")
        return
    invocation = show(board, "InvocationID").get("InvocationID", "")
    now_us = board_now_us(board)
    cursor = journal_cursor(board)
    clock = Stopwatch()
    posted = board.script("post-fault.sh", "allocate", str(DEBUG_PORT),
                          check=False).stdout
    killed = wait_for_system_line(board, now_us, "oom-kill", RECOVERY_LIMIT_S)
    again = wait_ready_again(board, invocation, RECOVERY_LIMIT_S)
    seconds = clock.seconds()
    report.check("oom-kill", " 200 " in posted and killed and bool(again),
                 f"Result=oom-kill, READY again {seconds:.1f} s after the "
                 f"allocation began" if killed and again else
                 f"posted: {posted.strip() or 'no answer'}; oom-kill logged: "
                 f"{killed}; READY again: {bool(again)}")
    if killed and again:
        report.figure("oom_to_ready_s", f"{seconds:.1f}", "s",
                      "POST /fault/allocate -> oom-kill -> READY again")
    advertised = wait_for_line(board, cursor, "Advertised ",
                               START_ADVERTISED_LIMIT_S)
    report.check("advertised-after-oom",
                 advertised is not None and "SUCCESS" in advertised.message,
                 "'Advertised ...: SUCCESS' after the restart")


def measure_memory_peak(board: Board, report: Report, key: str,
                        when: str) -> None:
    """The service's peak since it started, as its cgroup counts it: at a
    cold start it also pays for the file pages it is the first to read."""
    group = show(board, "ControlGroup").get("ControlGroup", "")
    peak = board.out(["cat", f"/sys/fs/cgroup{group}/memory.peak"],
                     check=False)
    if peak.isdigit():
        report.figure(key, int(peak) // 1024, "KiB",
                      f"memory.peak of the service's cgroup, {when}")


def run(board: Board, report: Report, entry: parse.Expected) -> None:
    measure_memory_peak(board, report, "memory_peak_kib",
                        "after the checks before this one")
    check_ready(board, report)
    coredump.install(board, report)
    cursor = journal_cursor(board)
    switch_faults_on(board)
    try:
        board.ssh(["systemctl", "restart", SERVICE],
                  timeout=SERVICE_CHANGE_LIMIT_S)
        if wait_for_line(board, cursor, "Advertised ",
                         START_ADVERTISED_LIMIT_S) is None:
            note("not advertised with the fault configuration")
        check_priorities(board, report, cursor)
        # Each fault's restarts alone under the start limit (the crash's
        # fault_and_core forgets them itself).
        coredump.forget_starts(board)
        check_wedges(board, report, entry)
        coredump.forget_starts(board)
        check_slow_hosts(board, report)
        check_crash_cores(board, report)
        coredump.forget_starts(board)
        check_memory(board, report)
    finally:
        switch_faults_off(board)
