# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""A fresh Debian machine of one release, as a new user would have it: a
minimal system (mmdebstrap's minbase and what a clone needs), a copy of
the tree, root, the network; a command run there installs what it needs
itself, as the README's commands do. So the tree's own commands are
proven on a release this machine does not run.

The minimal system is cached as build-env/fresh-SUITE-KEY.tar.zst (made
again a week old); every run extracts it afresh and removes it after."""

from __future__ import annotations

import os
import shutil
import subprocess
import time
from pathlib import Path
from typing import Mapping, Sequence

from . import buildenv
from .common import Failure, run, stale, tell

# A machine a user clones onto: apt to install the rest, the certificates
# and git of a clone, and nothing of our build dependencies.
PACKAGES = ("ca-certificates", "git")
MMDEBSTRAP_LIMIT_S = 3600
COPY_LIMIT_S = 600
TREE_INSIDE = Path("/root/vantor")


def image_name(suite: str, uri: str, native: str) -> str:
    return "fresh-" + buildenv.tarball(Path(), suite, buildenv.key(
        suite, uri, (native,), PACKAGES, "")).name


def ensure(root: Path, suite: str, native: str,
           env: Mapping[str, str] = os.environ) -> Path:
    """The minimal system's tarball, made when missing or a week old."""
    uri = buildenv.mirror()
    cache = buildenv.cache_dir(root, env)
    cache.mkdir(parents=True, exist_ok=True)
    image = cache / image_name(suite, uri, native)
    if not stale(image, time.time(), buildenv.MAX_DAYS):
        return image
    tell(f"fresh: making a minimal {suite} ({native}) from {uri}")
    start = time.monotonic()
    # mmdebstrap writes the format the name ends in.
    partial = image.with_name(f".partial-{image.name}")
    log = cache / f"fresh-{suite}.log"
    with log.open("wb") as sink:
        status = run(["mmdebstrap", "--mode=root", "--variant=minbase",
                      f"--architectures={native}",
                      "--include=" + ",".join(PACKAGES), suite, partial,
                      f"deb {uri} {suite} main"], stdout=sink, stderr=sink,
                     timeout=MMDEBSTRAP_LIMIT_S, check=False)
    if status != 0:
        partial.unlink(missing_ok=True)
        raise Failure(f"fresh: the minimal {suite} could not be made "
                      f"(log: {log})")
    partial.replace(image)
    for old in cache.glob(f"fresh-{suite}-*.tar.zst"):
        if old != image:
            old.unlink()
    tell(f"fresh: {image.name} made in {time.monotonic() - start:.0f} s "
         f"({image.stat().st_size >> 20} MiB)")
    return image


def tree_files(root: Path) -> list[str]:
    """The tree's files as a clone has them: tracked and new, not
    ignored."""
    listed = subprocess.run(
        ["git", "-C", str(root), "ls-files", "-z", "--cached", "--others",
         "--exclude-standard"], check=True, capture_output=True,
        timeout=COPY_LIMIT_S).stdout.decode()
    return [f for f in listed.split("\0")
            if f and (os.path.lexists(root / f))]


def copy_tree(root: Path, target: Path) -> None:
    """The tree's files into target, links and modes kept."""
    for name in tree_files(root):
        source, copy = root / name, target / name
        copy.parent.mkdir(parents=True, exist_ok=True)
        if source.is_symlink():
            copy.symlink_to(os.readlink(source))
        else:
            shutil.copy2(source, copy)


def run_command(root: Path, suite: str, argv: Sequence[str],
                timeout: float) -> int:
    """argv in a fresh machine of suite, in the tree's copy; its status."""
    native = subprocess.run(["dpkg", "--print-architecture"], check=True,
                            capture_output=True, text=True,
                            timeout=60).stdout.strip()
    image = ensure(root, suite, native)
    scratch = buildenv.cache_dir(root, os.environ) / "roots"
    with buildenv.Environment(image, scratch) as machine:
        copy_tree(root, machine.root / TREE_INSIDE.relative_to("/"))
        shutil.copy("/etc/resolv.conf", machine.root / "etc/resolv.conf")
        tell(f"fresh: {suite} extracted in {machine.extract_s:.0f} s; "
             f"running {' '.join(argv)} in {TREE_INSIDE}")
        start = time.monotonic()
        status = machine.run(
            list(argv), timeout=timeout, network=True, cwd=TREE_INSIDE,
            binds=[buildenv.Bind(Path("/sys"))],
            env={"DEBIAN_FRONTEND": "noninteractive"}, check=False)
        tell(f"fresh: {' '.join(argv)} on {suite}: exit {status} after "
             f"{time.monotonic() - start:.0f} s")
        return status
