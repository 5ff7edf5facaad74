# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The board with its clock past January 2038, the end of a 32-bit time_t.

In `scripts/board test` the running board's clock is set forward with
`date` (Debian 13's programs have a 64-bit time_t); the service is started
again in 2040, advertised, muted and restarted, and the journal's dates
are read; the clock is set back afterwards. `scripts/board y2038` boots
the board with its real-time clock in 2040 instead, which a Debian 12
board, whose own programs cannot set such a date, also takes; what the
system around the service does then is surveyed rather than judged.
"""

from __future__ import annotations

import dataclasses
import datetime
import re
import time

from . import parse
from .clock import Stopwatch
from .common import CONFIG, SERVICE, note
from .limits import (ADVERTISED_LIMIT_S, APT_LIMIT_S, BROWSE_LIMIT_S,
                     SERVICE_CHANGE_LIMIT_S, START_ADVERTISED_LIMIT_S)
from .observe import (board_sees, journal, journal_cursor, journal_since,
                      main_pid, mic_change, wait_for_line)
from .remote import Board
from .results import Report

# A leap day well past 2038-01-19 03:14:07 UTC, the last second a 32-bit
# time_t holds.
FUTURE = datetime.datetime(2040, 2, 29, 12, 0, tzinfo=datetime.timezone.utc)
FUTURE_YEAR = str(FUTURE.year)
# For qemu's -rtc base=.
RTC_BASE = FUTURE.strftime("%Y-%m-%dT%H:%M:%S")


def set_clock(board: Board, epoch_s: int) -> bool:
    """Sets the board's clock (UTC seconds); whether it took it."""
    result = board.ssh(["date", "-u", "-s", f"@{epoch_s}"], check=False,
                       merge_stderr=True)
    return result.returncode == 0


def board_year(board: Board) -> str:
    return board.out(["date", "-u", "+%Y"], check=False)


def dated_lines(text: str) -> tuple[int, int]:
    """Of journalctl -o short-iso lines: how many there are and how many
    carry a date in FUTURE's year."""
    lines = [line for line in text.splitlines()
             if line.strip() and not line.startswith("-- ")]
    dated = [line for line in lines
             if re.match(rf"{FUTURE_YEAR}-\d\d-\d\dT", line)]
    return len(lines), len(dated)


def since(cursor: str) -> list[str]:
    """journalctl's arguments for the lines after cursor, or without one
    for this boot's."""
    return ["--after-cursor", cursor] if cursor else ["-b"]


def check_journal_dates(board: Board, report: Report, name: str,
                        cursor: str) -> None:
    """The service's lines since cursor, as journalctl dates them."""
    text = journal(board, *since(cursor), "-o", "short-iso", check=False)
    lines, dated = dated_lines(text)
    first = next((line for line in text.splitlines()
                  if line[:1].isdigit()), "none")
    report.check(name, lines > 0 and dated == lines,
                 f"{dated} of {lines} line(s) dated {FUTURE_YEAR}; first: "
                 f"{first[:100]}")


def check_service_in_future(board: Board, report: Report,
                            entry: parse.Expected, prefix: str,
                            started_cursor: str) -> None:
    """The service started (after started_cursor, or in this boot without
    one) with the clock in the future: advertised, a mute heard and kept
    across a restart, its journal and the state file dated in FUTURE's
    year."""
    advertised = wait_for_line(board, "", "Advertised ",
                               START_ADVERTISED_LIMIT_S,
                               *since(started_cursor))
    report.check(f"{prefix}-advertised",
                 advertised is not None and "SUCCESS" in advertised.message,
                 advertised.message if advertised else "no 'Advertised' line")
    report.timed(f"{prefix}-browse", "listed by the board's avahi-browse",
                 lambda: board_sees(board, entry, BROWSE_LIMIT_S))
    if board.out(["vantor-state", "--config", CONFIG, "mic"],
                 check=False) == "off":
        mic_change(board, "on")
    lines = mic_change(board, "off")
    report.check(f"{prefix}-mute",
                 any(line.endswith("Microphone muted") for line in lines),
                 " | ".join(lines) or "no Microphone line")
    path = board.out(["vantor-state", "--config", CONFIG, "path", "mic"],
                     check=False)
    stamp = board.out(["date", "-u", "-r", path, "+%Y-%m-%d %H:%M:%S"],
                      check=False)
    report.check(f"{prefix}-state-file", stamp.startswith(FUTURE_YEAR),
                 f"{path} modified {stamp or 'unknown'}")
    cursor = journal_cursor(board)
    restarted = board.ssh(["systemctl", "restart", SERVICE], check=False,
                          timeout=SERVICE_CHANGE_LIMIT_S).returncode == 0
    pid = int(main_pid(board) or 0)
    wait_for_line(board, cursor, "Advertised ", START_ADVERTISED_LIMIT_S)
    mute = parse.last_mute_report(journal_since(board, cursor), pid)
    report.check(f"{prefix}-mute-kept", restarted and mute == "muted",
                 f"restart {'done' if restarted else 'failed'}; process "
                 f"{pid} reports the microphone {mute or 'nothing'}")
    check_journal_dates(board, report, f"{prefix}-journal-dates",
                        started_cursor)


def run_in_test(board: Board, report: Report, entry: parse.Expected) -> None:
    """The clock set to FUTURE on the running board, the service started
    again and checked, the clock set back."""
    clock = Stopwatch()
    try:
        ok = set_clock(board, int(FUTURE.timestamp()))
        year = board_year(board)
        report.check("past-2038-clock", ok and year == FUTURE_YEAR,
                     f"date -u -s @{int(FUTURE.timestamp())}: the board "
                     f"says {year or 'nothing'}")
        if year != FUTURE_YEAR:
            return
        cursor = journal_cursor(board)
        started = board.ssh(["systemctl", "restart", SERVICE], check=False,
                            timeout=SERVICE_CHANGE_LIMIT_S).returncode == 0
        report.check("past-2038-started", started,
                     f"systemctl restart {SERVICE} in {FUTURE_YEAR}")
        check_service_in_future(board, report, entry, "past-2038", cursor)
    finally:
        set_clock(board, int(time.time()))
    report.figure("past_2038_s", f"{clock.seconds():.1f}", "s",
                  f"the checks with the board's clock in {FUTURE_YEAR}")

# ---- Booted in the future ---------------------------------------------------


@dataclasses.dataclass
class Survey:
    """What the system around the service says, as `name: what` lines."""
    lines: list[str] = dataclasses.field(default_factory=list)

    def add(self, name: str, text: str) -> None:
        text = " | ".join(line.strip() for line in text.splitlines()
                          if line.strip())
        self.lines.append(f"{name}: {text[:400] or '(nothing)'}")
        note(f"2040: {name}: {text[:400] or '(nothing)'}")


def survey(board: Board) -> Survey:
    """systemd, journald, apt and avahi with the clock in the future."""
    found = Survey()

    def said(name: str, argv: list[str], timeout: float = 120) -> str:
        result = board.ssh(argv, check=False, merge_stderr=True,
                           timeout=timeout)
        found.add(name, f"exit {result.returncode}: {result.stdout}")
        return result.stdout

    said("date", ["date", "-u"])
    said("kernel clock", ["cat", "/proc/driver/rtc"])
    said("system", ["systemctl", "is-system-running"])
    said("failed units", ["systemctl", "--failed", "--no-legend",
                          "--plain"])
    said("journal errors", ["sh", "-c", "journalctl -b -p err -o cat | "
                            "sort | uniq -c | sort -rn | head -n 12"])
    said("journal dates", ["sh", "-c", "journalctl -b -n 3 -o short-iso"])
    said("journal disk", ["journalctl", "--disk-usage"])
    said("avahi", ["systemctl", "is-active", "avahi-daemon"])
    said("apt update", ["apt-get", "update", "-q", "-o",
                        "Acquire::Check-Valid-Until=true"],
         timeout=APT_LIMIT_S)
    said("ls", ["ls", "-l", "--time-style=+%Y-%m-%d", "/var/lib/vantor"])
    said("stat", ["stat", "-c", "%y %n", "/var/lib/dpkg/status"])
    said("touch", ["sh", "-c", "touch /var/tmp/y2038 && "
                   "ls -l --time-style=+%Y-%m-%d /var/tmp/y2038"])
    return found


def run_booted(board: Board, report: Report, entry: parse.Expected,
               survey_path: str) -> Survey | None:
    """On a board just booted with its clock in the future: the service as
    in run_in_test, and the survey; None when the board never answered."""
    clock = Stopwatch()
    if not board.wait_ssh(ADVERTISED_LIMIT_S, pause_s=2):
        report.fail("y2038-ssh", f"no ssh within {ADVERTISED_LIMIT_S} s of "
                    f"power-on with the clock in {FUTURE_YEAR}")
        return None
    report.phase("y2038-boot-to-ssh", clock.seconds())
    year = board_year(board)
    report.check("y2038-clock", year == FUTURE_YEAR,
                 f"the board says {year or 'nothing'}")
    active = board.out(["systemctl", "is-active", SERVICE], check=False)
    report.check("y2038-started-at-boot", active == "active",
                 f"{SERVICE} is {active}")
    pid = int(main_pid(board) or 0)
    mute = parse.last_mute_report(journal_since(board, "", "-b"), pid)
    report.check("y2038-mute-at-boot", mute == "muted",
                 f"process {pid} reports the microphone {mute or 'nothing'}")
    check_service_in_future(board, report, entry, "y2038", "")
    found = survey(board)
    with open(survey_path, "w") as out:
        out.write("".join(line + "\n" for line in found.lines))
    return found
