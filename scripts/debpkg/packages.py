# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The packages that scripts/package leaves in a folder: found by the
tree's version as built for their release, each with its debug package."""

from __future__ import annotations

import dataclasses
import re
from pathlib import Path

from . import releases
from .common import Failure, Runner, capture, visible

NAMES = ("vantor-device", "vantor-device-sample", "vantor-device-dev")
# The packages with programs or libraries, whose debug information (by
# Build ID) a -dbgsym package carries.
WITH_DEBUG = ("vantor-device", "vantor-device-sample")
QUERY_LIMIT_S = 120


@dataclasses.dataclass(frozen=True)
class Packages:
    version: str
    arch: str
    debs: dict[str, Path]  # Package name -> .deb, in NAMES' order.

    def lines(self) -> list[str]:
        """What lib.sh's load_packages reads."""
        return ([f"version {self.version}", f"arch {self.arch}"] +
                [f"deb {name} {deb}" for name, deb in self.debs.items()])


def changes_version(changes: str) -> str:
    return "\n".join(re.findall(r"^Version: (.*)$", changes, re.MULTILINE))


def changes_distribution(changes: str) -> str:
    found = re.search(r"^Distribution: (.*)$", changes, re.MULTILINE)
    return found.group(1).strip() if found else ""


def changes_arch(changes: str) -> str:
    """The first architecture of a .changes file's that is not "source"."""
    listed = "\n".join(re.findall(r"^Architecture: (.*)$", changes,
                                  re.MULTILINE))
    arches = [a for a in re.split(r"[ \n]", listed) if a != "source"]
    return arches[0] if arches else ""


def debug_files(listing: str) -> int:
    """How many Build ID debug files a `dpkg-deb -c` listing holds."""
    return len(re.findall(r"/usr/lib/debug/\.build-id/.*\.debug$", listing,
                          re.MULTILINE))


def load(debs: Path, src: Path, runner: Runner = capture) -> Packages:
    """The packages of SRC's version in DEBS; Failure says what is wrong."""
    changes = visible(debs, "*.changes")
    if not changes:
        raise Failure(f"no .changes in {debs}: run scripts/package")
    text = changes[0].read_text(errors="replace")
    version, arch = changes_version(text), changes_arch(text)
    tree = runner(["dpkg-parsechangelog", "-l", src / "debian/changelog",
                   "-SVersion"], timeout=QUERY_LIMIT_S, stderr="pass")
    if releases.tree_version(version, changes_distribution(text)) != \
            tree.output.rstrip("\n"):
        raise Failure(f"{changes[0]} is version {version}, not the tree's "
                      "as built for its release")
    found = {name: debs / f"{name}_{version}_{arch}.deb" for name in NAMES}
    listing = "\n".join(p.name for p in visible(debs, "*"))
    for deb in found.values():
        if not deb.is_file():
            raise Failure(f"no {deb.name}: {listing}")
    if len([p for p in debs.glob("*.deb") if "-dbgsym_" not in p.name]) != 3:
        raise Failure(f"expected three packages: {listing}")
    for name in WITH_DEBUG:
        dbgsym = debs / f"{name}-dbgsym_{version}_{arch}.deb"
        if not dbgsym.is_file():
            raise Failure(f"no {dbgsym.name}")
        contents = runner(["dpkg-deb", "-c", dbgsym], timeout=QUERY_LIMIT_S,
                          stderr="pass").output
        if debug_files(contents) < 2:
            raise Failure(f"{dbgsym.name} holds no debug files")
    return Packages(version=version, arch=arch, debs=found)
