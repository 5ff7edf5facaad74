# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""What --from names. SUITE=FOLDER: FOLDER/<arch>/*.deb, built for SUITE.
FOLDER: FOLDER/<suite>/<arch>/*.deb, one folder per release, as
scripts/package leaves them. A FOLDER of the layout before releases,
FOLDER/<arch>/ only, is this machine's release, which scripts/package
built for then; such <arch> folders beside release folders are stale and
left out."""

from __future__ import annotations

import dataclasses
from pathlib import Path

from . import layout, pool, releases
from .common import Failure, Usage


@dataclasses.dataclass(frozen=True)
class From:
    folder: Path
    suite: str = ""


def parse(value: str) -> From:
    """A name before the first "=" that has no "/" is a suite's: a folder
    whose name has an "=" is given as ./NAME."""
    name, equals, folder = value.partition("=")
    if not equals or "/" in name:
        return From(Path(value))
    problem = layout.name_problem(name)
    if problem:
        raise Usage(f"--from {value!r}: {problem}")
    if not folder:
        raise Usage(f"--from {value!r}: no folder after {name}=")
    return From(Path(folder), name)


def _children(folder: Path) -> tuple[dict[str, Path], list[Path]]:
    """FOLDER's release folders by name, and its <arch> folders."""
    named, archs = {}, []
    for child in sorted(folder.glob("*")):
        if not child.is_dir():
            continue
        if any(child.glob("*.deb")):
            archs.append(child)
        elif any(child.glob("*/*.deb")):
            named[child.name] = child
    return named, archs


def _suites_of(source: From) -> list[tuple[str, Path]]:
    """(suite, a folder of <arch>/*.deb) for each suite that source feeds."""
    if source.suite:
        return [(source.suite, source.folder)]
    named, archs = _children(source.folder)
    for name, child in named.items():
        problem = layout.name_problem(name)
        if problem:
            raise Failure(f"{child}: {problem}")
    if named:
        if archs:
            print(f"apt-repo: left out {' '.join(map(str, archs))}: the "
                  "layout before releases, beside release folders", flush=True)
        return list(named.items())
    if not archs:
        return []
    machine = releases.this_machine()
    if layout.name_problem(machine):
        raise Failure(f"{source.folder}: packages of the layout before "
                      "releases (<arch>/ only), and this machine's release is "
                      f"not known; give --from SUITE={source.folder}")
    print(f"apt-repo: {source.folder}: the layout before releases, taken as "
          f"{machine}, this machine's release", flush=True)
    return [(machine, source.folder)]


def gather(froms: list[From], required: bool) -> dict[str, list[Path]]:
    """Each suite's packages; with required, a FOLDER without any is
    refused."""
    found: dict[str, list[Path]] = {}
    for source in froms:
        count = 0
        for suite, folder in _suites_of(source):
            debs = pool.debs_in(folder)
            count += len(debs)
            if debs:
                found.setdefault(suite, []).extend(debs)
        if required and not count:
            where = f"{source.folder}/<arch>/"
            if not source.suite:
                where = f"{source.folder}/<suite>/<arch>/ nor in {where}"
            raise Failure(f"no packages in {where}")
    return found
