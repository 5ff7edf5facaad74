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
descriptors and threads are flat (a worker that comes and goes aside), the service was never restarted, and the mute written
last before each pause is the one the host reports."""

from __future__ import annotations

import dataclasses
import subprocess
import time
from pathlib import Path
from typing import Callable

from .common import FILES, TAP, note
from .results import Report

SAMPLE_EVERY_S = 10
DAEMON_RESTART_EVERY_S = 120
LINK_DOWN_EVERY_S = 300
LINK_DOWN_S = 5
WARMUP = 0.1
# The first turns' buffers settle within half a minute: short runs need a
# longer warm-up than a tenth of them.
WARMUP_MIN_S = 60
RSS_KIB_PER_HOUR = 64


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
    sample: Callable[[], Sample]
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
    """RSS and descriptors over time, with gnuplot (files/soak.gnuplot)."""
    try:
        result = subprocess.run(
            ["gnuplot", "-e", f"csv='{csv}'; png='{png}'; title='{title}'",
             str(FILES / "soak.gnuplot")], capture_output=True, text=True)
    except FileNotFoundError:
        note("no gnuplot: no plot")
        return False
    if result.returncode:
        note(f"gnuplot: {result.stderr.strip()}")
    return result.returncode == 0


def run(target: Target, minutes: float, report: Report, out: Path,
        title: str) -> None:
    seconds = int(minutes * 60)
    restarts_before = target.restarts() if target.restarts else 0
    load = target.start_load(seconds)
    start = time.monotonic()
    samples: list[Sample] = []
    next_sample, next_restart, next_link = 0.0, DAEMON_RESTART_EVERY_S, \
        LINK_DOWN_EVERY_S
    daemon_restarts = link_downs = 0
    while (elapsed := time.monotonic() - start) < seconds:
        if elapsed >= next_sample:
            sample = target.sample()
            samples.append(dataclasses.replace(sample, seconds=elapsed))
            next_sample += SAMPLE_EVERY_S
        if elapsed >= next_restart:
            target.restart_daemon()
            daemon_restarts += 1
            next_restart += DAEMON_RESTART_EVERY_S
        if target.link_down and elapsed >= next_link:
            target.link_down(LINK_DOWN_S)
            link_downs += 1
            next_link += LINK_DOWN_EVERY_S
        time.sleep(0.5)
    output, _ = load.communicate(timeout=120)
    lines = output.splitlines()
    out.mkdir(parents=True, exist_ok=True)
    write_csv(samples, out / "soak.csv")
    plot(out / "soak.csv", out / "soak.png", title)
    note(f"soak: {len(samples)} samples, {daemon_restarts} daemon restarts, "
         f"{link_downs} link downs; {out / 'soak.csv'}")
    judge(samples, lines, report,
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
    writes = next((l.split()[1] for l in lines if l.startswith("writes ")),
                  "0")
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
        report.figure("soak_memory_current_kib", f"{min(memory)}..{max(memory)}",
                      "KiB", "the cgroup's memory.current after the warm-up")


def parse_sample(text: str) -> Sample:
    """A sample from "RSS_KIB THREADS FDS [MEMORY_KIB]"."""
    words = text.split()
    return Sample(0, int(words[0]), int(words[2]), int(words[1]),
                  int(words[3]) if len(words) > 3 else None)


def board_target(board, link, service: str, config: str) -> Target:
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

    def link_down(seconds: float) -> None:
        subprocess.run(link.argv(["ip", "link", "set", TAP, "down"]),
                       check=False)
        time.sleep(seconds)
        subprocess.run(link.argv(["ip", "link", "set", TAP, "up"]),
                       check=False)

    return Target(
        start_load=start_load,
        sample=lambda: parse_sample(board.script("soak-sample.sh", service,
                                                 check=False).stdout),
        restart_daemon=lambda: board.ssh(
            ["systemctl", "restart", "avahi-daemon"], check=False),
        link_down=link_down,
        restarts=lambda: int(board.out(["systemctl", "show", "-P",
                                        "NRestarts", service],
                                       check=False) or 0))
