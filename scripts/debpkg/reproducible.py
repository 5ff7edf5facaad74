# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The same commit built twice for one release gives the same packages: from
clones in two folders of different depth and name, each built in its own
folder of a fresh environment of the release; the tree's own packages are
one side when the tree is that commit unchanged."""

from __future__ import annotations

import os
import subprocess
from pathlib import Path
from typing import Callable

from . import buildenv, releases
from .common import capture, run, show, say, tell, visible, without_prefix

PACKAGE_LIMIT_S = 3600
GIT_LIMIT_S = 600
DIFFOSCOPE_LIMIT_S = 1200
DIFF_LINES = 60


def same_bytes(a: Path, b: Path) -> bool:
    """cmp -s: a missing file is a difference."""
    try:
        with a.open("rb") as first, b.open("rb") as second:
            while True:
                block, other = first.read(1 << 16), second.read(1 << 16)
                if block != other:
                    return False
                if not block:
                    return True
    except OSError:
        return False


def check(root: Path, suite: str, native: str, work: Path,
          fail: Callable[[str], None]) -> None:
    tell(f"== reproducible ({suite}, {native})")
    builds: list[Path] = []
    status = capture(["git", "-C", root, "status", "--porcelain",
                      "--untracked-files=normal"], timeout=GIT_LIMIT_S,
                     stderr="pass")
    if not status.output.strip():
        builds.append(releases.out_folder(root / "build-deb", suite, native))
    for folder in (work / "a", work / "second/clone-b"):
        if len(builds) >= 2:
            break
        run(["git", "clone", "-q", "--no-hardlinks", root, folder],
            timeout=GIT_LIMIT_S)
        debs = Path(f"{folder}-debs")
        # The clone shares the tree's environments: the same tarball.
        cache = buildenv.cache_dir(root, os.environ)
        if run([folder / "scripts/package", "--suite", suite, "--out", debs],
               stdout=subprocess.DEVNULL, timeout=PACKAGE_LIMIT_S, check=False,
               env=dict(os.environ, DEB_BUILD_OPTIONS="",
                        BUILD_ENV_DIR=str(cache))) != 0:
            fail(f"package build in {folder}")
        builds.append(debs)
    same = differ = 0
    for deb in visible(builds[0], "*.deb"):
        other = builds[1] / deb.name
        if same_bytes(deb, other):
            same += 1
            continue
        differ += 1
        diff = work / f"{deb.name}.diff"
        run(["diffoscope", "--text", diff, deb, other],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            timeout=DIFFOSCOPE_LIMIT_S, check=False)
        try:
            lines = diff.read_text(errors="replace").splitlines(True)
            show("".join(lines[:DIFF_LINES]))
        except OSError:
            say(f"missing: {other}")
        fail(f"not reproducible: {deb.name}")
    tell(f"reproducible: {same} .debs identical, {differ} differ "
         f"({without_prefix(builds[0], root)} vs "
         f"{without_prefix(builds[1], work)})")
