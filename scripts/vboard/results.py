# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""What a run found: check results, figures and phase times, printed as the
lines CI reads (`board: PASS ...`, `board: figure ...`, the closing
`board: N passed, M failed, K skipped`) and kept in BOARD_DIR."""

from __future__ import annotations

import dataclasses
import enum
import math
import os
import sys
import time
from pathlib import Path
from typing import Callable

from . import runner
from .common import BoardError, note
from .limits import GIT_LIMIT_S


def percentile(values: list[float], p: float) -> float:
    """Nearest rank: the smallest value with at least p % of them at or
    below it. The median is percentile(values, 50)."""
    if not values:
        raise ValueError("no values")
    ordered = sorted(values)
    rank = max(1, math.ceil(len(ordered) * p / 100))
    return ordered[rank - 1]


class Status(enum.Enum):
    PASS = "PASS"
    FAIL = "FAIL"
    SKIP = "SKIP"


@dataclasses.dataclass
class Result:
    name: str
    status: Status
    detail: str
    seconds: float | None = None  # How long the check took, when timed.
    last_look: str = ""  # What the last look of a waiting check saw.

    def line(self) -> str:
        took = f" ({self.seconds:.1f} s)" if self.seconds is not None else ""
        return (f"board: {self.status.value:<8} {self.name}{took}: "
                f"{self.detail}")


@dataclasses.dataclass
class Outcome:
    """What a timed check found: whether it passed, its detail when that
    depends on what it saw, and for a wait what the last look saw (for a
    failure's log)."""
    ok: bool
    detail: str | None = None
    last_look: str = ""

    def __bool__(self) -> bool:
        return self.ok


class Report:
    """Collects and prints the results of one command's run."""

    def __init__(self) -> None:
        self.results: list[Result] = []
        self.figures: list[tuple[str, str]] = []
        self.phases: list[tuple[str, str]] = []

    def add(self, result: Result) -> Result:
        self.results.append(result)
        print(result.line(), flush=True)
        if result.status is Status.FAIL and result.last_look:
            print(f"board:          last look: {result.last_look}", flush=True)
        return result

    def check(self, name: str, ok: bool, detail: str) -> bool:
        self.add(Result(name, Status.PASS if ok else Status.FAIL, detail))
        return ok

    def fail(self, name: str, detail: str) -> None:
        self.check(name, False, detail)

    def skip(self, name: str, detail: str) -> None:
        self.add(Result(name, Status.SKIP, detail))

    def timed(self, name: str, detail: str,
              test: Callable[[], bool | Outcome]) -> bool:
        """Runs test and reports it with the seconds it took."""
        start = time.monotonic()
        outcome = test()
        seconds = time.monotonic() - start
        if not isinstance(outcome, Outcome):
            outcome = Outcome(bool(outcome))
        self.add(Result(name, Status.PASS if outcome.ok else Status.FAIL,
                        outcome.detail or detail, seconds, outcome.last_look))
        return outcome.ok

    def figure(self, key: str, value: object, unit: str,
               description: str) -> None:
        self.figures.append((key, str(value)))
        print(f"board: figure   {key:<28} {value!s:>10} {unit:<5} "
              f"{description}", flush=True)

    def phase(self, name: str, seconds: float) -> None:
        self.phases.append((name, f"{seconds:.1f}"))
        note(f"phase {name}: {seconds:.1f} s")

    def count(self, status: Status, since: int = 0) -> int:
        return sum(r.status is status for r in self.results[since:])

    def failed_names(self, since: int = 0) -> list[str]:
        return [r.name for r in self.results[since:]
                if r.status is Status.FAIL]

    def summary(self) -> bool:
        """Prints the closing lines; true when nothing failed."""
        print(f"board: {self.count(Status.PASS)} passed, "
              f"{self.count(Status.FAIL)} failed, "
              f"{self.count(Status.SKIP)} skipped", flush=True)
        if self.failed_names():
            print(f"board: failed: {' '.join(self.failed_names())}",
                  flush=True)
        return not self.failed_names()

    def write_figures(self, board_dir: Path, command: str, root: Path) -> None:
        """figures.txt of this run, and a row of bench-rows.tsv for
        comparing runs."""
        now = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime())
        rows = [(f"phase_{k}", v) for k, v in self.phases] + self.figures
        figures = board_dir / "figures.txt"
        figures.write_text(
            f"# scripts/board {command}, {now}, "
            f"{git(root, 'describe', '--always', '--dirty')}\n"
            + "".join(f"{k}={v}\n" for k, v in rows))
        bench = board_dir / "bench-rows.tsv"
        row = {"date": now,
               "commit": git(root, "rev-parse", "--short", "HEAD")}
        row.update(rows)
        text = bench.read_text() if bench.exists() else ""
        if ragged(text):
            # Written before rows could add columns: its values cannot all
            # be put under their names again, so it is kept as it is.
            os.replace(bench, bench.with_name(f"bench-rows-{now}.tsv"))
            text = ""
        new = bench.with_name(bench.name + ".new")
        new.write_text(with_row(text, row))
        os.replace(new, bench)
        note(f"figures: {figures} (and a row in {bench})")


def git(root: Path, *args: str) -> str:
    """What git says of the tree, or "unknown"."""
    try:
        result = runner.run(["git", "-C", str(root), *args], check=False,
                            capture=True, timeout=GIT_LIMIT_S)
    except BoardError:
        return "unknown"
    return result.stdout.strip() if result.returncode == 0 else "unknown"


def ragged(tsv: str) -> bool:
    """Whether a row of the table has more values than its header names."""
    lines = tsv.splitlines()
    width = len(lines[0].split("\t")) if lines else 0
    return any(len(line.split("\t")) > width for line in lines[1:])


def with_row(tsv: str, row: dict[str, str]) -> str:
    """A table of tab-separated rows under one header, with row added. A key
    the header lacks becomes a new column, empty in the older rows, so that
    every value stays under its own name whichever figures a run had."""
    lines = tsv.splitlines()
    header = lines[0].split("\t") if lines else []
    old = [dict(zip(header, line.split("\t"))) for line in lines[1:]]
    columns = header + [key for key in row if key not in header]
    return "".join("\t".join(values) + "\n" for values in
                   [columns] + [[r.get(c, "") for c in columns]
                                for r in old + [row]])


def fail_on_error(report: Report, name: str, step: Callable[[], None]) -> None:
    """Runs step; an error that ends it is the failure of check name rather
    than the end of the run."""
    try:
        step()
    except Exception as e:  # noqa: BLE001 - any fault is this check's.
        print(f"board: {name}: {type(e).__name__}: {e}", file=sys.stderr)
        report.fail(name, f"ended early: {e}")
