# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""piuparts on this machine's packages of one release. Debian 12's: install,
purge, and an upgrade from the 0.2.0 packages taken from a signed local
repository, as devices get them. Debian 13's: install and purge (no earlier
release of ours was built for it), and the way a device comes to them: the
tree's Debian 12 build installed from a signed repository on Debian 12, the
system upgraded to 13, then these packages. The Debian bases and the 0.2.0
packages are cached in build-piuparts/."""

from __future__ import annotations

import dataclasses
import os
import re
import shutil
import subprocess
import time
from pathlib import Path
from typing import Callable

from . import buildenv, packages, releases
from .common import Failure, run, show, stale, tell, visible, without_prefix

# The release before this one, built as it was built then (CPack).
OLD_COMMIT = "29746b1"
# A week-old base is still one of its suite; apt updates it in the chroot.
BASE_MAX_DAYS = 7
BASE_LIMIT_S = 3600
BUILD_LIMIT_S = 3600
GIT_LIMIT_S = 600
REPO_LIMIT_S = 1800
PIUPARTS_LIMIT_S = 3600
NAMES = ("vantor-device", "vantor-device-sample", "vantor-device-dev")
# What a release leaves behind that is not ours, by the suite a test ends
# in. Debian 13's apt keeps the folder it extracts debconf templates into
# (seen installing libmicrohttpd12t64 alone into the bare base), which
# piuparts 1.1.7 (Debian 12) does not know to ignore.
IGNORED = {"trixie": ("/var/cache/debconf/tmp.ci/",)}


@dataclasses.dataclass(frozen=True)
class Test:
    """One piuparts run: its suites (two: a system upgrade from the first
    to the second), what the packages upgrade from (a folder of .debs
    served as a signed repository; none: no upgrade test) and what the
    report calls it."""
    name: str
    suites: tuple[str, ...]
    old: str  # "0.2.0", "bookworm" (the tree's build) or "".


def tests(suite: str) -> list[Test]:
    if suite == "bookworm":
        return [Test("install, purge, upgrade", ("bookworm",), "0.2.0")]
    earlier = [r.suite for r in releases.RELEASES.values()
               if r.number < releases.release(suite).number]
    return [Test("install, purge", (suite,), "")] + [
        Test(f"{old} build, system upgrade to {suite}, upgrade",
             (old, suite), old) for old in earlier[-1:]]


def argv(test: Test, base: Path, mirror: str, scripts: Path,
         repo: Path | None, debs: list[Path]) -> list[str | Path]:
    """piuparts' command line for a test."""
    args: list[str | Path] = ["piuparts", "--basetgz", base]
    for suite in test.suites:
        args += ["--distribution", suite]
    args += ["--mirror", f"{mirror} main", "--scriptsdir", scripts]
    for path in IGNORED.get(test.suites[-1], ()):
        args += ["--ignore", path]
    if repo is None:
        args.append("--no-upgrade-test")
    else:
        # The old packages are the first suite's; the new ones come as
        # files, after the system upgrade when there is one.
        args += ["--extra-repo",
                 f"deb [signed-by={repo}/vantor-archive-keyring.gpg] "
                 f"file://{repo} {test.suites[0]} main", "--bindmount", repo]
    return args + list(debs)


def package_version(path: str) -> str:
    """NAME_VERSION_ARCH.deb's version."""
    return re.sub(r"^.*_(.*)_.*$", r"\1", path, count=1)


def tail(text: str, pattern: str, count: int) -> list[str]:
    """The last count lines of text that match pattern."""
    return [line for line in text.splitlines()
            if re.search(pattern, line)][-count:]


def make_base(base: Path, suite: str, native: str, mirror: str) -> None:
    # systemd is in it, as on a board: installed for the test and purged
    # after it, it would leave its own folders behind.
    cache = base.parent
    if base.is_dir() and not base.is_symlink():
        shutil.rmtree(base)
    elif base.exists() or base.is_symlink():
        base.unlink()
    # mmdebstrap writes the format that the name ends in.
    new = cache / f"new-{suite}.tar.gz"
    log = cache / f"mmdebstrap-{suite}.log"
    start = time.monotonic()
    with log.open("wb") as sink:
        status = run(["mmdebstrap", "--variant=minbase", f"--arch={native}",
                      "--include=eatmydata,systemd", suite, new,
                      f"deb {mirror} {suite} main"], stdout=sink, stderr=sink,
                     timeout=BASE_LIMIT_S, check=False)
    if status != 0:
        show("".join(log.read_text(errors="replace").splitlines(True)[-20:]))
        new.unlink(missing_ok=True)
        raise Failure()
    new.replace(base)
    tell(f"piuparts: {base.name} made in {time.monotonic() - start:.0f} s")


def base_of(cache: Path, suite: str, native: str, mirror: str) -> Path:
    base = cache / f"{suite}-systemd-{native}.tar.gz"
    if stale(base, time.time(), BASE_MAX_DAYS):
        make_base(base, suite, native, mirror)
    return base


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


def tree_build(root: Path, suite: str, native: str, work: Path) -> Path:
    """The folder of the tree's packages for suite: scripts/package's,
    else made now (in the same build environment cache)."""
    folder = releases.out_folder(root / "build-deb", suite, native)
    try:
        packages.load(folder, root)
        return folder
    except Failure:
        pass
    folder = work / f"{suite}-debs" / native
    tell(f"piuparts: no {suite} packages of this tree; making them")
    run([root / "scripts/package", "--suite", suite, "--out", folder],
        stdout=subprocess.DEVNULL, timeout=BUILD_LIMIT_S)
    return folder


def old_packages(root: Path, test: Test, native: str, cache: Path,
                 work: Path) -> Path | None:
    """The folder of the packages the test upgrades from."""
    if test.old == "0.2.0":
        old = cache / f"0.2.0-{native}"
        if not visible(old, "*.deb"):
            build_old(root, work, old)
        return old
    if test.old:
        return tree_build(root, test.old, native, work)
    return None


def signed_repo(root: Path, debs: Path, suite: str, native: str,
                repo: Path) -> None:
    """A signed repository of debs in suite, as devices get packages: a
    throwaway key."""
    source = repo.with_name(repo.name + "-from")
    source.mkdir(parents=True, exist_ok=True)
    os.symlink(debs, source / native)
    run([root / "scripts/apt-repo", "--from", f"{suite}={source}", repo],
        stdout=subprocess.DEVNULL, timeout=REPO_LIMIT_S)


def new_debs(folder: Path, native: str) -> list[Path]:
    found: list[Path] = []
    for name in NAMES:
        pattern = f"{name}_*_{native}.deb"
        found += visible(folder, pattern) or [folder / pattern]
    return found


def check(root: Path, suite: str, native: str, work: Path,
          fail: Callable[[str], None]) -> None:
    cache = root / "build-piuparts"
    cache.mkdir(parents=True, exist_ok=True)
    mirror = buildenv.mirror()
    debs = new_debs(releases.out_folder(root / "build-deb", suite, native),
                    native)
    for number, test in enumerate(tests(suite)):
        tell(f"== piuparts {suite} ({native}): {test.name}")
        start = time.monotonic()
        base = base_of(cache, test.suites[0], native, mirror)
        old = old_packages(root, test, native, cache, work)
        repo = None
        if old is not None:
            repo = work / f"old-repo-{number}"
            signed_repo(root, old, test.suites[0], native, repo)
        # piuparts installs the packages, purges them, and with a
        # repository installs the old ones from it, upgrades them to these
        # (after a system upgrade when there are two suites) and purges
        # again; anything left behind fails it. After every install the
        # unit is enabled (scripts/piuparts/), so its link must go with the
        # purge too.
        log = cache / f"piuparts-{suite}-{number}.log"
        with log.open("wb") as sink:
            status = run(argv(test, base, mirror, root / "scripts/piuparts",
                              repo, debs),
                         stdout=sink, stderr=sink, timeout=PIUPARTS_LIMIT_S,
                         check=False)
        text = log.read_text(errors="replace")
        if status == 0:
            for line in tail(text, r"^\S+ INFO: (PASS|Upgrad)", 5):
                tell(line)
            versions = " ".join(package_version(str(p)) for p in
                                visible(old, "vantor-device_*.deb")
                                ) if old else ""
            tell(f"piuparts: PASS ({test.name}"
                 f"{f'; from {versions}' if versions else ''}) in "
                 f"{time.monotonic() - start:.0f} s")
        else:
            show("".join(f"{line}\n" for line in
                         tail(text, r" (FAIL|ERROR):|^  ", 40)))
            fail(f"piuparts {suite}: {test.name} "
                 f"(log: {without_prefix(log, root)})")
