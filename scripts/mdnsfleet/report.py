# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The run's findings: lines as they come, and at the end report.json with
everything, figures.tsv, checks.tsv and names.tsv (one row per device and
phase)."""

from __future__ import annotations

import csv
import dataclasses
import json
import sys
from pathlib import Path
from typing import Any

from .judge import NameCheck, Rename

Value = Any  # A figure: a number, a text, a flag, or None when not had.


def show(value: Value) -> str:
    if isinstance(value, float):
        return f"{value:.3f}" if abs(value) < 1 else f"{value:.2f}"
    return "-" if value is None else str(value)


def quoted(name: str | None) -> str:
    return "none" if name is None else f"'{name}'"


@dataclasses.dataclass(frozen=True)
class Check:
    name: str
    ok: bool
    detail: str


class Report:
    def __init__(self, out: Path, parameters: dict[str, Value]) -> None:
        self.out = out
        self.parameters = parameters
        self.figures: dict[str, Value] = {}
        self.checks: list[Check] = []
        self.names: list[dict[str, Value]] = []
        self.scenarios: list[dict[str, Value]] = []

    @property
    def ok(self) -> bool:
        return all(c.ok for c in self.checks)

    def say(self, line: str) -> None:
        print(f"mdns-fleet: {line}", flush=True)

    def figure(self, key: str, value: Value, unit: str = "") -> None:
        self.figures[key] = value
        self.say(f"{key} = {show(value)}{' ' + unit if unit else ''}")

    def check(self, name: str, ok: bool, detail: str) -> None:
        self.checks.append(Check(name, ok, detail))
        self.say(f"{'PASS' if ok else 'FAIL'} {name}: {detail}")

    def name_table(self, phase: str, checks: list[NameCheck]) -> None:
        for c in checks:
            seen = ", ".join(f"{observer} {quoted(name)}"
                             for observer, name in c.observed.items())
            failed = f", {c.failures} failed tries" if c.failures else ""
            self.say(f"[{phase}] {c.device} ({c.device_id}): log "
                     f"{quoted(c.advertised)} (own view {quoted(c.shown)}),"
                     f" {seen}{failed}: {'agree' if c.agree else 'DIFFER'}")
            self.names.append({"phase": phase, "device": c.device,
                               "device_id": c.device_id,
                               "log_advertised": c.advertised,
                               "log_shown": c.shown, **{
                                   f"observed_{o}": n
                                   for o, n in c.observed.items()},
                               "failures": c.failures, "agree": c.agree})
        bad = [c.device for c in checks if not c.agree]
        self.check(f"names agree after {phase}", not bad,
                   f"{len(checks) - len(bad)} of {len(checks)} agree"
                   + (f"; differ: {' '.join(bad)}" if bad else ""))

    def scenario(self, name: str, target: str, settled: bool,
                 settle_s: float, changed: dict[str, list[Rename]],
                 why: str) -> None:
        self.scenarios.append({
            "scenario": name, "target": target, "settled": settled,
            "settle_s": round(settle_s, 2), "unsettled_by": why,
            "renamed": {observer: [dataclasses.asdict(r) for r in rs]
                        for observer, rs in changed.items()}})
        self.check(f"{name} settles", settled,
                   f"settled after {settle_s:.2f} s" if settled else
                   f"not settled after {settle_s:.2f} s: {why}")
        lines = sorted({f"{r.device_id} {quoted(r.before)} -> "
                        f"{quoted(r.after)}"
                        for rs in changed.values() for r in rs})
        self.check(f"{name} renames nobody", not lines,
                   "; ".join(lines) or "no device renamed")

    def write(self) -> None:
        self.out.mkdir(parents=True, exist_ok=True)
        document = {"parameters": self.parameters, "figures": self.figures,
                    "checks": [dataclasses.asdict(c) for c in self.checks],
                    "names": self.names, "scenarios": self.scenarios,
                    "ok": self.ok}
        (self.out / "report.json").write_text(
            json.dumps(document, indent=2) + "\n")
        write_tsv(self.out / "figures.tsv", ["figure", "value"],
                  [{"figure": k, "value": show(v)}
                   for k, v in self.figures.items()])
        write_tsv(self.out / "checks.tsv", ["name", "ok", "detail"],
                  [dataclasses.asdict(c) for c in self.checks])
        columns: list[str] = []
        for row in self.names:
            columns += [k for k in row if k not in columns]
        write_tsv(self.out / "names.tsv", columns,
                  [{k: show(v) for k, v in row.items()} for row in self.names])


def write_tsv(path: Path, columns: list[str],
              rows: list[dict[str, Value]]) -> None:
    with path.open("w", newline="") as f:
        writer = csv.DictWriter(f, columns, delimiter="\t",
                                lineterminator="\n", restval="-")
        writer.writeheader()
        writer.writerows(rows)


def note(message: str) -> None:
    print(f"mdns-fleet: {message}", file=sys.stderr, flush=True)
