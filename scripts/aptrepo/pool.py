# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""A suite's pool of a component: every package published, kept for
going back.

The pool only grows. A package's file never changes under its name, since
signed indexes and devices' caches hold its hash: a different file under a
name the pool has is refused, the same file again is nothing to do."""

from __future__ import annotations

import dataclasses
import filecmp
import glob
import re
import subprocess
from pathlib import Path

from .common import Failure, run
from .files import add_new


def debs_in(folder: Path) -> list[Path]:
    """FOLDER/<arch>/*.deb."""
    return sorted(Path(p) for p in glob.glob(
        f"{glob.escape(str(folder))}/*/*.deb"))


def published(pool: Path) -> list[Path]:
    return sorted(pool.glob("*.deb"))


def plan(debs: list[Path], pool: Path) -> list[Path]:
    """The debs the pool lacks, one of each name. Raises Failure, with
    nothing written, for a name that the pool or another of debs has with
    other contents."""
    chosen: dict[str, Path] = {}
    for deb in debs:
        earlier = chosen.get(deb.name)
        if earlier is not None:
            if not filecmp.cmp(earlier, deb, shallow=False):
                raise Failure(f"{deb} and {earlier} differ under one name; "
                              "give the rebuilt package a new version")
            continue
        chosen[deb.name] = deb
    new = []
    for name, deb in chosen.items():
        there = pool / name
        if not there.exists():
            new.append(deb)
        elif not filecmp.cmp(there, deb, shallow=False):
            raise Failure(f"{deb} differs from {there}, published under that "
                          "name before: the pool keeps a file as it was "
                          "signed; give the rebuilt package a new version")
    return new


def add(debs: list[Path], pool: Path) -> None:
    pool.mkdir(parents=True, exist_ok=True)
    for deb in debs:
        add_new(deb, pool / deb.name)


@dataclasses.dataclass(frozen=True)
class Control:
    path: Path
    version: str
    architecture: str


def control(deb: Path) -> Control:
    fields = run(["dpkg-deb", "-f", str(deb), "Version", "Architecture"],
                 stdout=subprocess.PIPE, timeout=60).stdout.decode()
    found = dict(re.findall(r"^(\w+): (.*)$", fields, re.M))
    return Control(deb, found.get("Version", ""),
                   found.get("Architecture", ""))


def architectures(controls: list[Control]) -> list[str]:
    """Those of the packages, "all" aside."""
    return sorted({c.architecture for c in controls} - {"all"})
