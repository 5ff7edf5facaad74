# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""DIR/dists: the signed indexes, made anew over the whole pool.

dists is a link to a set of indexes (.dists.N) that is built and signed
beside the live one; one rename of the link puts it in place, so a reader
sees the whole old set or the whole new one. A dists folder of the layout
before is exchanged with the link in one step where the file system can."""

from __future__ import annotations

import ctypes
import errno
import gzip
import lzma
import os
import subprocess
import time
from pathlib import Path

from .common import Failure, run
from .files import TEMP_PREFIX, fsync_dir, remove, sync_tree
from .keys import Signer
from .layout import Suite
from .validity import DAY_S

LINK = "dists"
SET_PREFIX = ".dists."
FTPARCHIVE_LIMIT_S = 600


def _release_options(suite: Suite, archs: list[str],
                     valid_days: int) -> list[str]:
    fields = {"Origin": "Vantor", "Label": "Vantor", "Suite": suite.name,
              "Codename": suite.name, "Architectures": " ".join(archs),
              "Components": " ".join(suite.components),
              "Description": "Vantor device packages",
              "ValidTime": str(valid_days * DAY_S)}
    options = []
    for name, value in fields.items():
        options += ["-o", f"APT::FTPArchive::Release::{name}={value}"]
    return options


def build(repo: Path, suites: list[Suite],
          archs: dict[tuple[str, str], list[str]], valid_days: int,
          signer: Signer) -> Path:
    """A new set of indexes for every suite over its pools (archs: those
    of each suite's component), signed and on disk; not yet live."""
    new = repo / f"{SET_PREFIX}{time.time_ns()}"
    new.mkdir()
    try:
        for suite in suites:
            top = new / suite.name
            # Every component has an index for each of the suite's
            # architectures, an empty one too: apt fails a source that
            # names a component whose index the Release lacks.
            suite_archs = sorted({a for c in suite.components
                                  for a in archs[suite.name, c]})
            for component in suite.components:
                for arch in suite_archs:
                    index = top / component / f"binary-{arch}"
                    index.mkdir(parents=True)
                    packages = run(
                        ["apt-ftparchive", "--arch", arch, "packages",
                         str(suite.pool(component))], cwd=repo,
                        stdout=subprocess.PIPE,
                        timeout=FTPARCHIVE_LIMIT_S).stdout
                    (index / "Packages").write_bytes(packages)
                    (index / "Packages.gz").write_bytes(
                        gzip.compress(packages, 9, mtime=0))
                    (index / "Packages.xz").write_bytes(
                        lzma.compress(packages, preset=9))
            release = run(["apt-ftparchive",
                           *_release_options(suite, suite_archs, valid_days),
                           "release", str(top)], stdout=subprocess.PIPE,
                          timeout=FTPARCHIVE_LIMIT_S).stdout
            (top / "Release").write_bytes(release)
            signer.sign(top / "Release")
        sync_tree(new)
    except BaseException:
        remove(new)
        raise
    return new


def _live(repo: Path) -> str | None:
    """The name of the set that dists links to."""
    link = repo / LINK
    return os.readlink(link) if link.is_symlink() else None


def _exchange(a: Path, b: Path) -> bool:
    """renameat2(RENAME_EXCHANGE); False where the system lacks it."""
    libc = ctypes.CDLL(None, use_errno=True)
    renameat2 = getattr(libc, "renameat2", None)
    if renameat2 is None:
        return False
    renameat2.argtypes = [ctypes.c_int, ctypes.c_char_p, ctypes.c_int,
                          ctypes.c_char_p, ctypes.c_uint]
    at_fdcwd, rename_exchange = -100, 2
    if renameat2(at_fdcwd, os.fsencode(a), at_fdcwd, os.fsencode(b),
                 rename_exchange) == 0:
        return True
    code = ctypes.get_errno()
    if code in (errno.EINVAL, errno.ENOSYS, errno.EOPNOTSUPP):
        return False
    raise OSError(code, os.strerror(code), str(b))


def swap(repo: Path, new: Path) -> None:
    """Makes new the live set, then removes the one before."""
    link = repo / LINK
    before = _live(repo)
    staged = repo / f"{TEMP_PREFIX}{LINK}"
    remove(staged)
    os.symlink(new.name, staged)
    if link.is_symlink() or not link.exists():
        os.replace(staged, link)
    elif link.is_dir():
        aside = staged
        if not _exchange(staged, link):
            # No exchange here: the folder goes aside first, and for a
            # moment there is no dists. Once only.
            aside = repo / f"{SET_PREFIX}before"
            os.rename(link, aside)
            os.rename(staged, link)
        remove(aside)
    else:
        raise Failure(f"{link} is neither a folder nor a link")
    fsync_dir(repo)
    if (before and before != new.name and before.startswith(SET_PREFIX)
            and "/" not in before):
        remove(repo / before)


def discard(repo: Path, new: Path) -> None:
    """A set that did not go live."""
    if _live(repo) != new.name:
        remove(new)


def remove_stale(repo: Path) -> None:
    """Sets that a killed run left, besides the live one."""
    live = _live(repo)
    for found in repo.glob(f"{SET_PREFIX}*"):
        if found.name != live:
            remove(found)
