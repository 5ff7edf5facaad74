# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""DIR's suites, one per Debian release, named by its codename, and the
pool of each: pool/SUITE/COMPONENT/. A package built for one release never
reaches another's devices, and a file name may be in two suites.

A repository of the layout before releases had one suite, stable, over
pool/main/. It is kept as it is: devices that follow it keep indexes that
are signed again by every run, and it is given nothing new."""

from __future__ import annotations

import dataclasses
import re
from pathlib import Path

MAIN = "main"
# The -dbgsym packages: a component of their own, which devices' sources
# do not name, so a device neither downloads its index nor ever installs
# one; a workstation that reads crash reports adds it to the same suite,
# signed by the same key. A component, not a suite: one Release, and its
# Valid-Until, covers both. Each component has a pool of its own.
DEBUG = "debug"
COMPONENTS = (MAIN, DEBUG)
LEGACY = "stable"
# vantor.sources names it, as it named the one suite before.
DEFAULT = "trixie"
_NAME = re.compile(r"[a-z][a-z0-9-]*")
# None may name a release: pool/main/ is the legacy pool, which
# apt-ftparchive reads with every folder under it.
_RESERVED = {LEGACY, MAIN}


@dataclasses.dataclass(frozen=True)
class Suite:
    name: str
    components: tuple[str, ...] = COMPONENTS
    legacy: bool = False

    def pool(self, component: str) -> Path:
        """Relative to DIR, as the indexes name it."""
        if self.legacy:
            return Path("pool", component)
        return Path("pool", self.name, component)


def component_of(deb: Path) -> str:
    """Where deb is published, by its file name NAME_VERSION_ARCH.deb:
    debhelper names a package's debug symbols NAME-dbgsym."""
    return DEBUG if deb.name.split("_")[0].endswith("-dbgsym") else MAIN


def name_problem(name: str) -> str | None:
    """Why name cannot be a suite's; None when it can."""
    if name in _RESERVED:
        return (f"{name!r} is the layout before releases' (stable, "
                "pool/main/), kept as it was; name a Debian release")
    if name == DEBUG:
        return (f"{name!r} is the debug symbols' component; name a Debian "
                "release")
    if not _NAME.fullmatch(name):
        return (f"{name!r} is not a release's codename (lower-case letters, "
                "digits and dashes)")
    return None


def in_repo(repo: Path) -> list[Suite]:
    """The suites whose pools hold packages: a suite is never dropped."""
    pool = repo / "pool"
    found = []
    if any((pool / MAIN).glob("*.deb")):
        found.append(Suite(LEGACY, (MAIN,), legacy=True))
    for folder in sorted(pool.glob("*")):
        suite = Suite(folder.name)
        if name_problem(suite.name) is None and any(
                any((repo / suite.pool(c)).glob("*.deb"))
                for c in COMPONENTS):
            found.append(suite)
    return found


def pool_folders(repo: Path) -> list[Path]:
    """Every folder that a run adds files to, legacy or not."""
    pool = repo / "pool"
    return [folder for folder in [*pool.glob("*"), *pool.glob("*/*")]
            if folder.is_dir() and not folder.is_symlink()]
