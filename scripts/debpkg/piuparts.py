# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""piuparts on this machine's packages: install, purge, and an upgrade from
the 0.2.0 packages taken from a signed local repository, as devices get
them. The Debian base and the 0.2.0 packages are cached in
build-piuparts/."""

from __future__ import annotations

import importlib
import os
import re
import shutil
import subprocess
import time
from pathlib import Path
from typing import Callable

from .common import Failure, run, show, tell, visible, without_prefix

SUITE = "bookworm"
# The release before this one, built as it was built then (CPack).
OLD_COMMIT = "29746b1"
# A week-old base is still a bookworm one; apt updates it in the chroot.
BASE_MAX_DAYS = 7
DAY_S = 24 * 60 * 60
BASE_LIMIT_S = 3600
BUILD_LIMIT_S = 3600
GIT_LIMIT_S = 600
REPO_LIMIT_S = 1800
PIUPARTS_LIMIT_S = 3600


def stale(base: Path, now: float) -> bool:
    """No base, or one older than BASE_MAX_DAYS whole days (find -mtime)."""
    if not base.is_file():
        return True
    return (now - base.lstat().st_mtime) // DAY_S > BASE_MAX_DAYS


def package_version(path: str) -> str:
    """NAME_VERSION_ARCH.deb's version."""
    return re.sub(r"^.*_(.*)_.*$", r"\1", path, count=1)


def tail(text: str, pattern: str, count: int) -> list[str]:
    """The last count lines of text that match pattern."""
    return [line for line in text.splitlines()
            if re.search(pattern, line)][-count:]


def board_mirror() -> str:
    """The board's mirror: BOARD_MIRROR, else this machine's apt sources'.
    The board harness owns that rule; it is loaded by name, so that this
    package is type-checked on its own."""
    image = importlib.import_module("vboard.image")
    skipped = importlib.import_module("vboard.common").Skipped
    try:
        return str(image.mirror())
    except skipped as e:
        raise Failure(str(e)) from e


def make_base(base: Path, native: str, mirror: str) -> None:
    # systemd is in it, as on a board: installed for the test and purged
    # after it, it would leave its own folders behind.
    cache = base.parent
    if base.is_dir() and not base.is_symlink():
        shutil.rmtree(base)
    elif base.exists() or base.is_symlink():
        base.unlink()
    # mmdebstrap writes the format that the name ends in.
    new = cache / "new.tar.gz"
    log = cache / "mmdebstrap.log"
    with log.open("wb") as sink:
        status = run(["mmdebstrap", "--variant=minbase", f"--arch={native}",
                      "--include=eatmydata,systemd", SUITE, new,
                      f"deb {mirror} {SUITE} main"], stdout=sink, stderr=sink,
                     timeout=BASE_LIMIT_S, check=False)
    if status != 0:
        show("".join(log.read_text(errors="replace").splitlines(True)[-20:]))
        new.unlink(missing_ok=True)
        raise Failure()
    new.replace(base)


def build_old(root: Path, work: Path, old: Path) -> None:
    tree = work / "old"
    if run(["git", "-C", root, "worktree", "add", "-f", "--detach", tree,
            OLD_COMMIT], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
           timeout=GIT_LIMIT_S, check=False) != 0:
        run(["git", "clone", "-q", root, tree], timeout=GIT_LIMIT_S)
        run(["git", "-C", tree, "checkout", "-q", OLD_COMMIT],
            timeout=GIT_LIMIT_S)
    log = work / "old.log"
    steps: list[list[str | Path]] = [
        ["cmake", "-S", tree, "-B", work / "old-build", "-G", "Ninja",
         "-DVANTOR_BUILD_TESTS=OFF"],
        ["cmake", "--build", work / "old-build", "--parallel", "2"],
        ["cpack", "--config", work / "old-build/CPackConfig.cmake",
         "-B", work / "old-debs"]]
    with log.open("wb") as sink:
        built = all(run(step, stdout=sink, stderr=sink, timeout=BUILD_LIMIT_S,
                        check=False) == 0 for step in steps)
    if not built:
        show("".join(log.read_text(errors="replace").splitlines(True)[-30:]))
        raise Failure()
    run(["git", "-C", root, "worktree", "remove", "--force", tree],
        stderr=subprocess.DEVNULL, timeout=GIT_LIMIT_S, check=False)
    old.mkdir(parents=True, exist_ok=True)
    debs = visible(work / "old-debs", "*.deb")
    if not debs:
        raise Failure(f"cpack made no package in {work}/old-debs")
    for deb in debs:
        shutil.copy(deb, old)


def check(root: Path, native: str, work: Path,
          fail: Callable[[str], None]) -> None:
    tell(f"== piuparts ({native})")
    cache = root / "build-piuparts"
    cache.mkdir(parents=True, exist_ok=True)
    mirror = board_mirror()
    base = cache / f"{SUITE}-systemd-{native}.tar.gz"
    if stale(base, time.time()):
        make_base(base, native, mirror)
    old = cache / f"0.2.0-{native}"
    if not visible(old, "*.deb"):
        build_old(root, work, old)
    # A signed repository of them, as devices get packages: a throwaway key.
    repo = work / "old-repo"
    (work / "old-from").mkdir(parents=True, exist_ok=True)
    os.symlink(old, work / "old-from" / native)
    run([root / "scripts/apt-repo", "--from", work / "old-from", repo],
        stdout=subprocess.DEVNULL, timeout=REPO_LIMIT_S)
    new_debs = root / "build-deb" / native
    new: list[str | Path] = []
    for name in ("vantor-device", "vantor-device-sample", "vantor-device-dev"):
        pattern = f"{name}_*_{native}.deb"
        new += visible(new_debs, pattern) or [new_debs / pattern]
    # piuparts installs the packages, purges them, then installs the 0.2.0
    # ones from the repository and upgrades them to these, and purges again;
    # anything left behind fails it. After every install the unit is enabled
    # (scripts/piuparts/), so its link must go with the purge too.
    argv: list[str | Path] = [
        "piuparts", "--basetgz", base, "--distribution", SUITE,
        "--mirror", f"{mirror} main",
        "--scriptsdir", root / "scripts/piuparts",
        "--extra-repo", f"deb [signed-by={repo}/vantor-archive-keyring.gpg] "
        f"file://{repo} stable main",
        "--bindmount", repo, *new]
    log = cache / "piuparts.log"
    with log.open("wb") as sink:
        status = run(argv, stdout=sink, stderr=sink,
                     timeout=PIUPARTS_LIMIT_S, check=False)
    text = log.read_text(errors="replace")
    if status == 0:
        for line in tail(text, r"^[0-9:]+ (PASS|INFO: Upgrad)", 5):
            tell(line)
        versions = "\n".join(package_version(str(p)) for p in
                             visible(old, "vantor-device_*.deb"))
        tell(f"piuparts: PASS (install, purge, upgrade from {versions})")
    else:
        show("".join(f"{line}\n" for line in
                     tail(text, r" (FAIL|ERROR):|^  ", 40)))
        fail(f"piuparts (log: {without_prefix(cache, root)}/piuparts.log)")
