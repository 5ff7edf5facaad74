# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""What the fleet costs at rest: CPU time of processes from /proc/PID/stat,
and packets on the link from tcpdump and the cables' counters."""

from __future__ import annotations

import json
import os
import re
from pathlib import Path
from typing import Mapping


def cpu_ticks(stat: str) -> int:
    """utime + stime of a /proc/PID/stat line, in clock ticks. The command
    name may hold spaces and parentheses: fields count from the last ')'."""
    fields = stat.rpartition(")")[2].split()
    # Fields 14 and 15 of the line; the first after ')' is field 3.
    return int(fields[11]) + int(fields[12])


def read_ticks(pid: int) -> int | None:
    try:
        return cpu_ticks(Path(f"/proc/{pid}/stat").read_text())
    except (OSError, ValueError, IndexError):
        return None


def cpu_s_per_min(before: Mapping[int, int], after: Mapping[int, int],
                  wall_s: float, hz: int) -> float:
    """CPU seconds per minute of wall time that these processes used
    between the two readings (pid -> ticks). A process that ended in
    between is left out; one that started counts from zero."""
    if wall_s <= 0:
        raise ValueError("no time passed")
    ticks = sum(t - before.get(pid, 0) for pid, t in after.items())
    return ticks / hz * 60 / wall_s


def clock_hz() -> int:
    return os.sysconf("SC_CLK_TCK")


def processes_named(comm: str) -> list[int]:
    pids = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if (entry / "comm").read_text().strip() == comm:
                pids.append(int(entry.name))
        except OSError:
            continue
    return pids


def netns_of(pid: int) -> str | None:
    try:
        return os.readlink(f"/proc/{pid}/ns/net")
    except OSError:
        return None


def captured(tcpdump_stderr: str) -> int | None:
    """tcpdump's count on exit: "123 packets captured"."""
    m = re.search(r"^(\d+) packets? captured", tcpdump_stderr, re.M)
    return int(m[1]) if m else None


def rx_packets(ip_json: str) -> dict[str, int]:
    """Interface -> packets received, from `ip -s -j link show`."""
    return {link["ifname"]: int(link["stats64"]["rx"]["packets"])
            for link in json.loads(ip_json)
            if "stats64" in link}


def per_s(count: int, wall_s: float) -> float:
    return count / wall_s if wall_s > 0 else 0.0
