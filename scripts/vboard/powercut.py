# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Power cuts on the emulated board while its state files are written.

Run on a board that is on, with the packages installed and the service
enabled. Two writers loop on the board, `vantor-state mic on|off` and
`vantor-state network <word>`, each driven from here one word at a time
over ssh, so this side knows every word that vantor-state reported written
(exit 0) and which one, if any, was still under way. At a random moment the
emulator is killed (the guest's unwritten page cache is lost, as in a power
cut) and the board is booted again from the same disk. Half the cuts come
right after both writers' last acknowledgement, with nothing under way,
where a word the tool acknowledged but the disk did not keep would show;
the others come in the middle of writes, where a torn or empty file and
left temporaries would show.

Checks after every boot: a file on disk holds the last word acknowledged for
it (or the one under way at the cut), a whole known word; a file kept in
memory (a tmpfs) is gone or whole; at most one temporary per file is left;
the service advertises again.
"""

from __future__ import annotations

import dataclasses
import random
import re
import subprocess
import threading
import time
from typing import IO

from . import runner
from .clock import Stopwatch, wait_until
from .common import CONFIG, FILES
from .limits import (ADVERTISED_LIMIT_S, END_GRACE_S, QUIESCE_LIMIT_S,
                     SSH_LIMIT_S, WRITE_LATENCY_LIMIT_S)
from .observe import journal
from .parse import ADVERTISED
from .remote import Board
from .results import Report, Status, fail_on_error, percentile

# The writer on the board; --tool names another build of it (a comparison).
TOOL = "vantor-state"
# Words each writer cycles through. The network writer's three words make a
# word lost to a cut distinguishable from the one under way.
WORDS = {
    "mic": ["off", "on"],
    "network": ["DISCONNECTED_FROM_WIFI", "CONNECTED", "CONNECTING"],
}
LATENCY_SAMPLES = 60
MISSING = "<missing>"


@dataclasses.dataclass
class Options:
    cuts: int = 20
    seed: int | None = None
    min_s: float = 2  # A cut comes this many seconds after the writers
    max_s: float = 20  # start, at random, up to this many.
    tool: str = TOOL
    compare_tool: str | None = None  # Timed in turns with tool.


class Writer:
    """One writer loop on the board, fed one word at a time from here. Its
    thread alone changes its counters until quiesce or finish returns."""

    def __init__(self, board: Board, what: str, tool: str) -> None:
        self.what = what
        self.words = WORDS[what]
        self.acknowledged: str | None = None  # Reported written.
        self.under_way: str | None = None  # Sent, not answered yet.
        self.writes = 0
        self.failures: list[str] = []
        self._stop = threading.Event()
        loop = (FILES / "powercut-writer.sh").read_text()
        self._process = board.popen(
            ["bash", "-c", loop, "powercut-writer", tool, CONFIG, what],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, text=True, bufsize=1)
        stdin, stdout = self._process.stdin, self._process.stdout
        assert stdin is not None and stdout is not None  # Piped above.
        self._stdin: IO[str] = stdin
        self._stdout: IO[str] = stdout
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self) -> None:
        n = 0
        while not self._stop.is_set():
            word = self.words[n % len(self.words)]
            n += 1
            self.under_way = word
            try:
                self._stdin.write(word + "\n")
                self._stdin.flush()
            except (BrokenPipeError, OSError):
                return
            line = self._stdout.readline()
            if not line:
                return  # The board is gone: under_way stays.
            status, _, rest = line.strip().partition(" ")
            if status == "ok" and rest == word:
                self.acknowledged = word
                self.writes += 1
            else:
                self.failures.append(line.strip())
            self.under_way = None

    def quiesce(self, limit_s: float) -> bool:
        """Sends no further word; true once nothing is under way."""
        self._stop.set()
        self._thread.join(limit_s)
        return not self._thread.is_alive()

    def finish(self, limit_s: float) -> None:
        """After the cut: every answer that reached this side is counted
        once the loop has seen the session end."""
        self._stop.set()
        self._thread.join(limit_s)
        try:
            self._stdin.close()
        except OSError:
            pass
        runner.wait(self._process, END_GRACE_S)
        self._stdout.close()


def timed_writes(text: str, tool: str) -> list[float]:
    """ms of each `TOOL MICROSECONDS` line of files/write-latency.sh for
    tool."""
    times = []
    for line in text.splitlines():
        words = line.split()
        if len(words) == 2 and words[0] == tool and words[1].isdigit():
            times.append(int(words[1]) / 1000.0)
    return times


class PowerCuts:
    def __init__(self, board: Board, report: Report, options: Options) -> None:
        self.board = board
        self.report = report
        self.options = options

    def cat(self, path: str) -> str | None:
        result = self.board.ssh(["cat", path], check=False)
        return result.stdout.strip() if result.returncode == 0 else None

    def temporaries(self, path: str) -> list[str]:
        folder, _, name = path.rpartition("/")
        listing = self.board.out(["ls", "-A", folder or "/"], check=False)
        pattern = re.compile(re.escape(name) + r"\.tmp\.")
        return [entry for entry in listing.split() if pattern.match(entry)]

    def advertised_this_boot(self) -> float | None:
        """Seconds until the service's journal of this boot shows the
        advertisement, or None."""
        clock = Stopwatch()
        found = wait_until(
            lambda: re.search(ADVERTISED, journal(
                self.board, "-b", "-o", "cat", check=False)) is not None,
            ADVERTISED_LIMIT_S, pause_s=2)
        return clock.seconds() if found else None

    def volatile(self, path: str) -> bool:
        """True when path lives in memory (a tmpfs), which no reboot keeps."""
        folder = path.rpartition("/")[0] or "/"
        return self.board.out(["stat", "-f", "-c", "%T", folder],
                              check=False) == "tmpfs"

    def check_after_boot(self, cut: int, expected: dict[str, set[str]],
                         paths: dict[str, str],
                         in_memory: dict[str, bool]) -> int:
        """expected: per file, the words it may hold after the cut; a file
        in memory must be gone or hold a whole word. Returns how many files
        on disk hold a whole word older than acknowledged."""
        lost = 0
        for what, path in paths.items():
            raw = self.cat(path)
            raw = MISSING if raw is None else raw
            allowed = expected[what]
            whole = raw in WORDS[what]
            if in_memory[what]:
                ok = whole or raw == MISSING
                expectation = "gone or a whole word (kept in memory)"
            else:
                ok = whole and raw in allowed
                expectation = ("acknowledged or under way: "
                               + (" or ".join(sorted(allowed)) or "nothing"))
                lost += whole and not ok
            self.report.check(f"powercut-{cut}-{what}", ok,
                              f"{path} holds {raw!r}; {expectation}")
            temps = self.temporaries(path)
            self.report.check(f"powercut-{cut}-{what}-temporaries",
                              len(temps) <= 1, f"{len(temps)} left"
                              + (f": {' '.join(temps)}" if temps else ""))
        return lost

    def write_latency(self, tools: list[str]) -> None:
        """Median and p99 of `TOOL mic on|off` on the board, per tool."""
        out = self.board.script("write-latency.sh", str(LATENCY_SAMPLES),
                                CONFIG, *tools, check=False,
                                timeout=WRITE_LATENCY_LIMIT_S).stdout
        for n, tool in enumerate(tools):
            label = "" if n == 0 else "_compared"
            times = timed_writes(out, tool)
            self.report.check(f"write-latency{label}",
                              len(times) == LATENCY_SAMPLES,
                              f"{len(times)} of {LATENCY_SAMPLES} timed "
                              f"writes with {tool}")
            if not times:
                continue
            self.report.figure(f"mic_write{label}_median_ms",
                               f"{percentile(times, 50):.1f}", "ms",
                               f"{tool} mic on|off on the board, "
                               f"n={len(times)}")
            self.report.figure(f"mic_write{label}_p99_ms",
                               f"{percentile(times, 99):.1f}", "ms",
                               f"(max {max(times):.1f} ms)")

    def run(self) -> None:
        options, report = self.options, self.report
        seed = options.seed if options.seed is not None else int(time.time())
        rng = random.Random(seed)
        print(f"board: power cuts: {options.cuts}, seed {seed}", flush=True)
        paths = {what: self.board.out(["vantor-state", "--config", CONFIG,
                                       "path", what]) for what in WORDS}
        in_memory = {what: self.volatile(path) for what, path in paths.items()}
        for what, path in paths.items():
            print(f"board: {what} state in {path}"
                  + (" (memory: not kept across boots)" if in_memory[what]
                     else ""), flush=True)
        self.write_latency([options.tool] + ([options.compare_tool]
                                             if options.compare_tool else []))
        current = {what: self.cat(path) or "" for what, path in paths.items()}
        lost = acknowledged = 0
        boots: list[float] = []
        for cut in range(1, options.cuts + 1):
            writers = [Writer(self.board, what, options.tool)
                       for what in WORDS]
            delay = rng.uniform(options.min_s, options.max_s)
            quiesced = cut % 2 == 1
            time.sleep(delay)
            if quiesced:
                settled = all([w.quiesce(QUIESCE_LIMIT_S) for w in writers])
                report.check(f"powercut-{cut}-quiesced", settled,
                             "both writers answered their last word")
            self.board.power.cut()
            expected = {}
            for w in writers:
                w.finish(QUIESCE_LIMIT_S)
                allowed = {w.acknowledged or current[w.what]}
                if w.under_way:
                    allowed.add(w.under_way)
                expected[w.what] = {word for word in allowed if word}
                acknowledged += w.writes
                report.check(f"powercut-{cut}-{w.what}-writes", not w.failures,
                             f"{w.writes} written" + (
                                 f"; failed: {w.failures[:3]}"
                                 if w.failures else ""))
            print(f"board: cut {cut} after {delay:.1f} s "
                  f"({'nothing' if quiesced else 'writes'} under way); "
                  f"expecting {expected}", flush=True)
            clock = Stopwatch()
            self.board.power.on()
            if not self.board.wait_ssh(SSH_LIMIT_S, pause_s=2):
                report.fail(f"powercut-{cut}-boot",
                            f"no ssh within {SSH_LIMIT_S} s of power-on")
                break
            lost += self.check_after_boot(cut, expected, paths, in_memory)
            report.check(f"powercut-{cut}-advertised",
                         self.advertised_this_boot() is not None,
                         "'Advertised ...: SUCCESS' in this boot's journal")
            boots.append(clock.seconds())
            current = {what: self.cat(path) or ""
                       for what, path in paths.items()}
        report.figure("powercut_cuts", options.cuts, "",
                      f"power cuts (seed {seed})")
        kept = sum(not m for m in in_memory.values())
        report.figure("powercut_words_lost", lost, "",
                      "file checks that found an older word than "
                      f"acknowledged, of {kept * options.cuts}")
        report.figure("powercut_writes", acknowledged, "",
                      "words vantor-state reported written")
        if boots:
            report.figure("powercut_boot_s", f"{percentile(boots, 50):.1f}",
                          "s", "power-on -> ssh and checks done, median")


def run_in_test(board: Board, report: Report, options: Options) -> None:
    """The power cuts as part of a run: their results join the report's;
    an error that ends them early is the failure power-cuts."""
    since = len(report.results)
    fail_on_error(report, "power-cuts",
                  lambda: PowerCuts(board, report, options).run())
    failed = report.failed_names(since)
    print(f"board: power cuts: {report.count(Status.PASS, since)} passed, "
          f"{len(failed)} failed", flush=True)
    if failed:
        print(f"board: failed: {' '.join(failed)}", flush=True)
