# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The Debian releases that the packages are built for, and what tells
their builds apart: the version suffix, the changelog entry that carries
it, the folder the packages go to.

Versions follow Debian's backports and third-party archives: the tree's
version plus ~deb12u1 or ~deb13u1. Both sort below the bare version, and
the 12 build below the 13 one, so a device taken from Debian 12 to 13
takes the 13 build with the rest of its system."""

from __future__ import annotations

import dataclasses
import datetime
import email.utils
import re
import textwrap
from pathlib import Path

ARCHES = ("amd64", "armhf")


@dataclasses.dataclass(frozen=True)
class Release:
    suite: str
    number: int

    @property
    def suffix(self) -> str:
        return f"~deb{self.number}u1"

    @property
    def title(self) -> str:
        return f"Debian {self.number} ({self.suite})"


RELEASES = {r.suite: r for r in (Release("bookworm", 12),
                                 Release("trixie", 13))}
DEFAULT_SUITE = "trixie"


def release(suite: str) -> Release:
    """The release of a suite; KeyError names the ones there are."""
    try:
        return RELEASES[suite]
    except KeyError:
        raise KeyError(f"no suite {suite!r} (one of "
                       f"{', '.join(RELEASES)})") from None


def build_version(version: str, target: Release) -> str:
    """version as built for target. A version that already carries a
    release's suffix is taken as it is for its own release and refused
    for another: 1.0~deb12u1~deb13u1 would sort below 1.0~deb13u1."""
    match = re.search(r"~deb([0-9]+)u[0-9]+$", version)
    if not match:
        return version + target.suffix
    if int(match.group(1)) != target.number:
        raise ValueError(f"{version} is a Debian {match.group(1)} version, "
                         f"not one for {target.title}")
    return version


def tree_version(version: str, distribution: str) -> str:
    """The tree's version of a build's (version, distribution): what
    build_version added, taken off again. A build of no known suite is
    the tree's version unchanged."""
    known = RELEASES.get(distribution)
    if known and version.endswith(known.suffix):
        return version[:-len(known.suffix)]
    return version


def entry_date(last: str) -> str:
    """The date of the build's changelog entry: one second after the
    tree's last entry, since Debian's tools refuse an entry no newer than
    the one below it, and derived from the tree alone, so the build stays
    reproducible."""
    parsed = email.utils.parsedate_to_datetime(last)
    return email.utils.format_datetime(parsed +
                                       datetime.timedelta(seconds=1))


def changelog_entry(*, version: str, base: str, target: Release,
                    maintainer: str, date: str) -> str:
    """The entry put on top of the build's copy of debian/changelog."""
    text = textwrap.fill(f"Version {base} of this tree, built for "
                         f"{target.title} by scripts/package.", width=78,
                         initial_indent="  * ", subsequent_indent="    ")
    return (f"vantor-device ({version}) {target.suite}; urgency=medium\n\n"
            f"{text}\n\n -- {maintainer}  {date}\n\n")


def out_folder(build_deb: Path, suite: str, arch: str) -> Path:
    """Where scripts/package leaves a suite's packages of one
    architecture."""
    return build_deb / suite / arch
