# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""A compressed month: the service under a steady load for a number of
minutes, its memory, descriptors and threads sampled every 10 s.

The load (files/soak-load.sh) runs where the service runs: the mute written
10 times a second, the connection status once a second, an interaction
every 2 s. From here: avahi-daemon restarted every 2 min and, on a board,
the link down for 5 s every 5 min. After a 10 % warm-up (a minute at least),
RSS grows by at most 64 KiB an hour (64 KiB in a run of under an hour),
descriptors and threads are flat (a worker that comes and goes aside), the
service was never restarted, and the mute written last before each pause is
the one the host reports."""

from __future__ import annotations

import dataclasses
import shutil
import subprocess
import time
from pathlib import Path
from typing import Callable

from . import runner
from .common import FILES, note
from .limits import LOAD_END_LIMIT_S, PLOT_LIMIT_S, RSS_KIB_PER_HOUR
from .remote import Board
from .results import Report

SAMPLE_EVERY_S = 10
# How often the schedule of the events from here is looked at.
TICK_S = 0.5
DAEMON_RESTART_EVERY_S = 120
LINK_DOWN_EVERY_S = 300
LINK_DOWN_S = 5
WARMUP = 0.1
# The first turns' buffers settle within half a minute: short runs need a
# longer warm-up than a tenth of them.
WARMUP_MIN_S = 60


@dataclasses.dataclass(frozen=True)
class Sample:
    seconds: float
    rss_kib: int
    fds: int
    threads: int
    memory_kib: int | None = None  # The cgroup's memory.current.


@dataclasses.dataclass
class Target:
    """Where the service runs, as the soak drives and reads it."""
    # The load script with its environment, as a process whose stdout is
    # read line by line.
    start_load: Callable[[int], subprocess.Popen]
    # None when there was nothing whole to read (the service between two
    # processes).
    sample: Callable[[], Sample | None]
    restart_daemon: Callable[[], None]
    link_down: Callable[[float], None] | None = None
    # How often the service was restarted; None where nothing restarts it.
    restarts: Callable[[], int] | None = None


def slope_per_hour(points: list[tuple[float, float]]) -> float:
    """The least-squares slope of (seconds, value) points, per hour."""
    if len(points) < 2:
        return 0.0
    n = len(points)
    mean_t = sum(t for t, _ in points) / n
    mean_v = sum(v for _, v in points) / n
    spread = sum((t - mean_t) ** 2 for t, _ in points)
    if spread == 0:
        return 0.0
    return 3600 * sum((t - mean_t) * (v - mean_v)
                      for t, v in points) / spread


def settled(samples: list[Sample]) -> list[Sample]:
    """The samples after the warm-up: a tenth of the run, at least
    WARMUP_MIN_S, at most half of it."""
    if not samples:
        return []
    duration = samples[-1].seconds - samples[0].seconds
    start = samples[0].seconds + min(max(WARMUP * duration, WARMUP_MIN_S),
                                     duration / 2)
    return [s for s in samples if s.seconds >= start]


def flat(values: list[int]) -> bool:
    """Whether a count is as high at the end as at the start: the medians
    of the first and last thirds agree. A worker that comes and goes
    between two samples is no growth; one more for good is."""
    third = max(1, len(values) // 3)
    head, tail = sorted(values[:third]), sorted(values[-third:])
    return head[len(head) // 2] == tail[len(tail) // 2]


def rss_bound_kib(samples: list[Sample]) -> float:
    """What RSS may grow by after the warm-up: 64 KiB an hour, and never
    less than 64 KiB, which an allocator settling takes in any run."""
    if not samples:
        return RSS_KIB_PER_HOUR
    hours = (samples[-1].seconds - samples[0].seconds) / 3600
    return max(RSS_KIB_PER_HOUR, RSS_KIB_PER_HOUR * hours)


def pause_mismatches(lines: list[str]) -> tuple[int, list[str]]:
    """Pauses seen, and those whose last written word the host did not
    report: the microphone "on" is unmuted, "off" muted."""
    pauses, wrong = 0, []
    expected = {"on": "unmuted", "off": "muted"}
    for line in lines:
        words = line.split()
        if len(words) >= 2 and words[0] == "pause":
            pauses += 1
            reported = words[2] if len(words) > 2 else ""
            if expected.get(words[1]) != reported:
                wrong.append(line)
    return pauses, wrong


def write_csv(samples: list[Sample], path: Path) -> None:
    path.write_text("seconds,rss_kib,fds,threads,memory_kib\n" + "".join(
        f"{s.seconds:.0f},{s.rss_kib},{s.fds},{s.threads},"
        f"{'' if s.memory_kib is None else s.memory_kib}\n" for s in samples))


def plot(csv: Path, png: Path, title: str) -> bool:
    """RSS and descriptors over time, with gnuplot (files/soak.gnuplot); its
    values go in as arguments, never as program text."""
    if not shutil.which("gnuplot"):
        note("no gnuplot: no plot")
        return False
    result = runner.run(["gnuplot", "-c", str(FILES / "soak.gnuplot"),
                         str(csv), str(png), title],
                        check=False, capture=True, timeout=PLOT_LIMIT_S)
    if result.returncode:
        note(f"gnuplot: {result.stderr.strip()}")
    return result.returncode == 0


@dataclasses.dataclass
class Driven:
    """What the soak did from here and what it read."""
    samples: list[Sample] = dataclasses.field(default_factory=list)
    unreadable: int = 0  # Samples with nothing whole to read.
    daemon_restarts: int = 0
    link_downs: int = 0


def drive(target: Target, seconds: int) -> Driven:
    """The soak's events from here, each on its schedule, for seconds:
    samples, avahi-daemon's restarts, the link's downs."""
    driven = Driven()
    start = time.monotonic()
    next_sample, next_restart, next_link = 0.0, DAEMON_RESTART_EVERY_S, \
        LINK_DOWN_EVERY_S
    while (elapsed := time.monotonic() - start) < seconds:
        if elapsed >= next_sample:
            sample = target.sample()
            if sample is None:
                driven.unreadable += 1
            else:
                driven.samples.append(dataclasses.replace(sample,
                                                          seconds=elapsed))
            next_sample += SAMPLE_EVERY_S
        if elapsed >= next_restart:
            target.restart_daemon()
            driven.daemon_restarts += 1
            next_restart += DAEMON_RESTART_EVERY_S
        if target.link_down and elapsed >= next_link:
            target.link_down(LINK_DOWN_S)
            driven.link_downs += 1
            next_link += LINK_DOWN_EVERY_S
        time.sleep(TICK_S)
    return driven


def run(target: Target, minutes: float, report: Report, out: Path,
        title: str) -> None:
    seconds = int(minutes * 60)
    restarts_before = target.restarts() if target.restarts else 0
    load = target.start_load(seconds)
    try:
        driven = drive(target, seconds)
    except BaseException:
        runner.stop(load)
        raise
    output, ended = runner.collect(load, LOAD_END_LIMIT_S)
    if not ended:
        note(f"soak: the load did not end within {LOAD_END_LIMIT_S} s of its "
             "time; ended")
    samples = driven.samples
    out.mkdir(parents=True, exist_ok=True)
    write_csv(samples, out / "soak.csv")
    plot(out / "soak.csv", out / "soak.png", title)
    unreadable = (f" ({driven.unreadable} unreadable)" if driven.unreadable
                  else "")
    note(f"soak: {len(samples)} samples{unreadable}, "
         f"{driven.daemon_restarts} daemon restarts, "
         f"{driven.link_downs} link downs; {out / 'soak.csv'}")
    judge(samples, output.splitlines(), report,
          (target.restarts() - restarts_before) if target.restarts else 0)


def judge(samples: list[Sample], lines: list[str], report: Report,
          restarts: int) -> None:
    after = settled(samples)
    if len(after) < 2:
        report.fail("soak-samples", f"{len(samples)} samples: too few")
        return
    growth = after[-1].rss_kib - after[0].rss_kib
    slope = slope_per_hour([(s.seconds, s.rss_kib) for s in after])
    bound = rss_bound_kib(after)
    report.check("soak-rss", growth <= bound,
                 f"RSS {after[0].rss_kib} -> {after[-1].rss_kib} KiB after "
                 f"the warm-up ({growth:+d} KiB, {slope:+.0f} KiB/h; at most "
                 f"{bound:.0f} KiB)")
    for name, values in (("fds", [s.fds for s in after]),
                         ("threads", [s.threads for s in after])):
        report.check(f"soak-{name}", flat(values),
                     f"{name} {values[0]} at the start, {values[-1]} at the "
                     f"end of the settled run ({min(values)} to "
                     f"{max(values)})")
    report.check("soak-restarts", restarts == 0,
                 f"{restarts} restart(s) of the service")
    pauses, wrong = pause_mismatches(lines)
    report.check("soak-mute", pauses > 0 and not wrong,
                 f"{pauses} pauses, the host reported the last mute of each"
                 if not wrong else f"{len(wrong)} of {pauses}: {wrong[0]}")
    writes = next((line.split()[1] for line in lines
                   if line.startswith("writes ")), "0")
    duration = samples[-1].seconds - samples[0].seconds or 1
    report.figure("soak_rss_kib", f"{after[0].rss_kib}..{after[-1].rss_kib}",
                  "KiB", f"RSS after the warm-up ({slope:+.0f} KiB/h)")
    report.figure("soak_fds_threads", f"{after[-1].fds}/{after[-1].threads}",
                  "", "descriptors/threads at the end")
    report.figure("soak_mute_writes_per_s",
                  f"{int(writes) / duration:.1f}", "/s",
                  f"{writes} mute writes in {duration:.0f} s")
    memory = [s.memory_kib for s in after if s.memory_kib is not None]
    if memory:
        report.figure("soak_memory_current_kib",
                      f"{min(memory)}..{max(memory)}", "KiB",
                      "the cgroup's memory.current after the warm-up")


def parse_sample(text: str) -> Sample | None:
    """A sample from "RSS_KIB THREADS FDS [MEMORY_KIB]", one space apart as
    files/soak-sample.sh prints them; None when one of the first three is
    missing or no number, as when the service is between two processes.
    Split on each space, so that a missing field is not filled by the next
    one."""
    fields = text.strip("\n").split(" ")
    if len(fields) < 3 or not all(f.isdigit() for f in fields[:3]):
        return None
    rss, threads, fds = (int(f) for f in fields[:3])
    memory = fields[3] if len(fields) > 3 else ""
    return Sample(0, rss, fds, threads,
                  int(memory) if memory.isdigit() else None)


def board_target(board: Board, service: str, config: str) -> Target:
    """The booted board: the load and the samples over ssh, the link from
    the build machine's side."""
    def start_load(seconds: int) -> subprocess.Popen:
        text = (FILES / "soak-load.sh").read_text()
        return board.popen(
            ["env", f"VANTOR_STATE=vantor-state --config {config}",
             "INTERACTIONS=/run/vantor/interactions",
             f"REPORTED=journalctl -q -u {service} -o cat -n 300",
             "bash", "-c", text, "soak-load.sh", str(seconds)],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)

    def restart_daemon() -> None:
        board.ssh(["systemctl", "restart", "avahi-daemon"], check=False)

    def link_down(seconds: float) -> None:
        board.link.set_up(False)
        time.sleep(seconds)
        board.link.set_up(True)

    return Target(
        start_load=start_load,
        sample=lambda: parse_sample(board.script("soak-sample.sh", service,
                                                 check=False).stdout),
        restart_daemon=restart_daemon,
        link_down=link_down,
        restarts=lambda: int(board.out(["systemctl", "show", "-P",
                                        "NRestarts", service],
                                       check=False) or 0))
