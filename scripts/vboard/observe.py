# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""What the checks ask the board about the service: its unit's properties,
its journal and systemd's, its advertisement as the board and the build
machine's side see it, and the waits for each. Every check module builds
on these; none of them is needed here."""

from __future__ import annotations

import time
from typing import Any

from . import parse
from .clock import Stopwatch, wait_until
from .common import BOARD_ADDRESS, CONFIG, HOST_NAME, SERVICE, SERVICE_TYPE
from .limits import LOOK_LIMIT_S, REMOTE_SLACK_S
from .remote import Board
from .results import Outcome

# ---- The unit ---------------------------------------------------------------


def show(board: Board, *names: str) -> dict[str, str]:
    """Properties of the unit, by name."""
    out = board.out(["systemctl", "show", SERVICE, "-p", ",".join(names)],
                    check=False)
    return dict(line.partition("=")[::2] for line in out.splitlines())


def main_pid(board: Board) -> str:
    return board.out(["systemctl", "show", "-P", "MainPID", SERVICE],
                     check=False)


def is_active(board: Board) -> str:
    """systemctl is-active's word for the unit."""
    return board.out(["systemctl", "is-active", SERVICE], check=False)


def board_now_us(board: Board) -> int:
    """The board's monotonic clock, as the journal stamps its entries."""
    seconds = board.out(["cat", "/proc/uptime"]).split()[0]
    return int(float(seconds) * 1e6)


def wait_ready_again(board: Board, invocation: str,
                     limit_s: float) -> dict[str, str] | None:
    """The unit's properties once a new invocation is active (READY), or
    None past limit_s."""
    def props() -> dict[str, str]:
        return show(board, "InvocationID", "ActiveState",
                    "ActiveEnterTimestampMonotonic", "NRestarts", "Result")

    def again(found: dict[str, str]) -> bool:
        return (found.get("InvocationID") not in ("", invocation)
                and found.get("ActiveState") == "active")

    found = wait_until(props, limit_s, pause_s=0.25, done=again)
    return found if again(found) else None

# ---- The journal ------------------------------------------------------------


def journal(board: Board, *args: str, **kwargs: Any) -> str:
    """The service's journal lines (journalctl -q -u SERVICE ARGS)."""
    return board.ssh(["journalctl", "-q", "-u", SERVICE, *args],
                     **kwargs).stdout


def journal_cursor(board: Board) -> str:
    """The cursor of the service's newest entry. The unit's own: with -u,
    --after-cursor skips the first match when the cursor's entry is not
    one."""
    export = board.ssh(["journalctl", "-u", SERVICE, "-n", "1", "-o",
                        "export"], check=False).stdout
    for line in export.splitlines():
        if line.startswith("__CURSOR="):
            return line.partition("=")[2]
    return ""


def journal_since(board: Board, cursor: str, *args: str
                  ) -> list[parse.JournalEntry]:
    """The service's entries after cursor (all of them without one)."""
    return parse.journal_entries(journal(
        board, *(["--after-cursor", cursor] if cursor else []), "-o", "json",
        *args, check=False))


def system_entries(board: Board) -> list[parse.JournalEntry]:
    """systemd's own entries about the unit in this boot."""
    return parse.journal_entries(board.ssh(
        ["journalctl", "-q", "-b", "UNIT=" + SERVICE + ".service", "-o",
         "json"], check=False).stdout)


def wait_for_line(board: Board, cursor: str, text: str, limit_s: float,
                  *args: str) -> parse.JournalEntry | None:
    """The first line after cursor (of those journalctl args select) that
    contains text, within limit_s."""
    def first() -> parse.JournalEntry | None:
        return next((entry for entry in journal_since(board, cursor, *args)
                     if text in entry.message), None)

    return wait_until(first, limit_s, pause_s=0.5)


def wait_for_system_line(board: Board, since_us: int, text: str,
                         limit_s: float) -> bool:
    """Whether systemd's own log of the unit gets a line with text after
    the board's monotonic time since_us, within limit_s."""
    return wait_until(
        lambda: any(e.monotonic_us > since_us and text in e.message
                    for e in system_entries(board)),
        limit_s, pause_s=0.5)


def wait_journal(board: Board, pattern: str, limit_s: int) -> bool:
    """Whether this boot's journal of the service gets a line matching
    pattern within limit_s. Waited for on the board: a start is over
    quicker than ssh could look."""
    return board.script("wait-journal.sh", SERVICE, pattern, str(limit_s),
                        check=False,
                        timeout=limit_s + REMOTE_SLACK_S).returncode == 0

# ---- The microphone ---------------------------------------------------------


def mic_change(board: Board, word: str) -> list[str]:
    """Sets the mic and returns the host's Microphone lines that follow."""
    out = board.script("mic-change.sh", word, SERVICE, CONFIG,
                       check=False).stdout
    return [line for line in out.splitlines() if line.strip()]

# ---- The advertisement ------------------------------------------------------


def expected_entry(board: Board) -> parse.Expected:
    """The advertisement that the installed configuration asks for."""
    config = board.out(["cat", CONFIG], check=False)
    return parse.Expected(
        name=parse.config_value(config, "mdns_instance_name", "Vantor Device"),
        type=parse.config_value(config, "mdns_service_type", SERVICE_TYPE),
        port=int(parse.config_value(config, "mdns_port", "8009")),
        host=f"{HOST_NAME}.local", address=BOARD_ADDRESS)


def _board_look(board: Board, options: str, looks: int) -> tuple[str, str]:
    """One look with the board's avahi-browse: its lines, and what it saw
    for a failure's log."""
    clock = Stopwatch()
    result = board.ssh(["timeout", str(LOOK_LIMIT_S), "avahi-browse", options,
                        SERVICE_TYPE], check=False,
                       timeout=LOOK_LIMIT_S + REMOTE_SLACK_S)
    lines = [line for line in result.stdout.splitlines() if line.strip()]
    seen = (f"look {looks} took {clock.seconds():.0f} s, exit "
            f"{result.returncode}: {len(lines)} line(s)")
    if lines:
        seen += ": " + parse.look_summary(result.stdout)
    return result.stdout, seen


def board_sees(board: Board, entry: parse.Expected, limit_s: float) -> Outcome:
    """Whether the board's own avahi-browse resolves the entry (a look
    begun within limit_s)."""
    looks = 0

    def look() -> Outcome:
        nonlocal looks
        looks += 1
        out, seen = _board_look(board, "-rpt", looks)
        return Outcome(entry.resolved_in(parse.parse_browse(out)),
                       last_look=seen)

    return wait_until(look, limit_s)


def board_stops_listing(board: Board, entry: parse.Expected,
                        limit_s: float) -> Outcome:
    """Whether the board's avahi-daemon stops listing the instance for two
    looks in a row, the first begun within limit_s; no resolving, so a slow
    answer is not taken for a withdrawal."""
    looks = 0

    def gone_twice() -> Outcome:
        nonlocal looks
        for again in (False, True):
            if again:
                time.sleep(1)
            looks += 1
            out, seen = _board_look(board, "-pt", looks)
            if entry.listed_in(parse.parse_browse(out)):
                return Outcome(False, last_look=seen)
        return Outcome(True, last_look=seen)

    return wait_until(gone_twice, limit_s)


def link_sees(board: Board, entry: parse.Expected, limit_s: float) -> Outcome:
    """Whether avahi-browse on the build machine's side resolves the
    entry (a look begun within limit_s)."""
    looks = 0

    def look() -> Outcome:
        nonlocal looks
        looks += 1
        entries = parse.parse_browse(board.link.browse())
        seen = (f"look {looks} across the link: "
                f"{sum(e.event == '=' for e in entries)} resolved entr(y/ies)")
        return Outcome(entry.resolved_in(entries), last_look=seen)

    return wait_until(look, limit_s)
