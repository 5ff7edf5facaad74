# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Clean environments of a Debian release, made on this machine with
mmdebstrap and entered with unshare and chroot: where the packages of that
release are built, judged by its lintian and installed to be run.

One tarball a suite holds everything any of that needs: the native and
the armhf cross toolchain, every build dependency of debian/control for
both architectures, lintian, systemd (systemd-analyze) and python3. It is
cached in build-env/SUITE-KEY.tar.zst, KEY hashing the suite, the mirror,
the architectures and both package lists, and made again once a week old.
Each use extracts it afresh (4 to 14 s) into build-env/roots/ and removes
that root after.

Why not sbuild: its unshare mode installs the build dependencies into a
fresh root for every build, from the mirror, and CI makes five builds a
run (two releases, two architectures, and the second one for the
reproducibility check). Installing them took 31 to 58 s here, the cross
builds' hundred armhf packages included; here that happens once, when the
tarball is made (2 to 2.5 minutes in all, mmdebstrap 65 to 72 s of it),
and a fresh clone in CI pays it once per release. As root sbuild also
wants subordinate ids for its user namespace, which a fresh machine lacks.
The cost of this way is ours: a chroot that keeps the tree's own paths, so
that a build in another folder still builds in another folder."""

from __future__ import annotations

import dataclasses
import hashlib
import importlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Mapping, Sequence

from .common import (Argv, Failure, Result, Stream, capture, run, show,
                     stale, tell)

FOREIGN = "armhf"
# Besides the buildd variant (essential, apt, build-essential) and the
# build dependencies, which apt-get build-dep reads from debian/control:
# the cross toolchain, the judges, and what scripts/package-test runs
# there (python3 for lib.sh's debpkg, file, awk).
PACKAGES = ("crossbuild-essential-armhf", "debhelper", "dpkg-dev", "lintian",
            "systemd", "python3", "file", "mawk")
MAX_DAYS = 7
MMDEBSTRAP_LIMIT_S = 3600
BUILD_DEP_LIMIT_S = 3600
TAR_LIMIT_S = 1800
MOUNT_LIMIT_S = 60
# Inside the environment nothing of this machine's environment counts.
PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
SCRIPTS = Path(__file__).resolve().parents[1]


def mirror() -> str:
    """The board's mirror: BOARD_MIRROR, else this machine's apt sources'.
    The board harness owns that rule; it is loaded by name, so that this
    package is type-checked on its own."""
    image = importlib.import_module("vboard.image")
    skipped = importlib.import_module("vboard.common").Skipped
    try:
        return str(image.mirror())
    except skipped as e:
        raise Failure(str(e)) from e


def build_depends(control: str) -> str:
    """The Build-Depends field of a debian/control text, its lines
    joined: only a change there makes a new environment."""
    match = re.search(r"^Build-Depends:(.*(?:\n[ \t].*)*)", control,
                      re.MULTILINE)
    if not match:
        return ""
    return " ".join(line.strip() for line in match.group(1).splitlines()
                    if line.strip())


def key(suite: str, uri: str, arches: Sequence[str],
        packages: Sequence[str], depends: str) -> str:
    recipe = [suite, uri, ",".join(arches), " ".join(sorted(packages)),
              depends]
    return hashlib.sha256("\n".join(recipe).encode()).hexdigest()[:16]


def cache_dir(root: Path, env: Mapping[str, str]) -> Path:
    """BUILD_ENV_DIR, else the tree's build-env/: a clone built for the
    reproducibility check shares the tree's tarballs."""
    return Path(env.get("BUILD_ENV_DIR") or root / "build-env").absolute()


def tarball(cache: Path, suite: str, name_key: str) -> Path:
    return cache / f"{suite}-{name_key}.tar.zst"


def tar_argv(*args: str | Path) -> list[str | Path]:
    # By number: the environment's users are not this machine's.
    return ["tar", "--numeric-owner", "--zstd", *args]


@dataclasses.dataclass(frozen=True)
class Bind:
    """A folder or file of this machine, inside at the same path or at
    target; read-only unless writable."""
    path: Path
    writable: bool = False
    target: Path | None = None

    @property
    def inside(self) -> Path:
        return self.target or self.path


def enter_argv(root: Path, argv: Argv, *, binds: Sequence[Bind] = (),
               cwd: Path = Path("/"), network: bool = False,
               env: Mapping[str, str] | None = None) -> list[str]:
    """unshare's command line that runs argv in root: a mount and pid
    namespace of its own (and without network unless asked for), which
    all mounts leave with the last process; `python3 -m debpkg enter`
    mounts and changes root inside it."""
    plan = {"root": str(root), "cwd": str(cwd),
            "argv": [str(a) for a in argv],
            "binds": [[str(b.path), str(b.inside), b.writable]
                      for b in binds],
            "env": dict({"PATH": PATH, "LANG": "C.UTF-8", "HOME": "/root"},
                        **(env or {}))}
    return ["unshare", "--mount", "--pid", "--fork", "--kill-child",
            *([] if network else ["--net"]), "--",
            sys.executable, "-m", "debpkg", "enter", json.dumps(plan)]


def enter(plan_text: str) -> None:
    """Inside the namespaces: /proc, /dev and the binds mounted, then
    argv run in the root, replacing this process."""
    plan = json.loads(plan_text)
    root = Path(plan["root"])

    def mount(*args: str | Path) -> None:
        run(["mount", *args], timeout=MOUNT_LIMIT_S)
    # A mount point of its own: what runs inside may make namespaces of
    # its own (unshare changes the propagation of "/", a mount only).
    mount("--bind", root, root)
    mount("-t", "proc", "proc", root / "proc")
    mount("--rbind", "/dev", root / "dev")
    # Outer folders first: a bind inside another lands on top of it.
    for source, inside, writable in sorted(
            plan["binds"], key=lambda b: len(Path(b[1]).parts)):
        target = root / Path(inside).relative_to("/")
        if not target.exists():
            if Path(source).is_dir():
                target.mkdir(parents=True)
            else:
                target.parent.mkdir(parents=True, exist_ok=True)
                target.touch()
        mount("--bind", source, target)
        if not writable:
            mount("-o", "remount,bind,ro", target)
    os.chroot(root)
    os.chdir(plan["cwd"])
    os.execvpe(plan["argv"][0], plan["argv"], plan["env"])


def _python_env() -> dict[str, str]:
    return dict(os.environ, PYTHONPATH=str(SCRIPTS),
                PYTHONDONTWRITEBYTECODE="1")


def run_in(root: Path, argv: Argv, *, timeout: float,
           binds: Sequence[Bind] = (), cwd: Path = Path("/"),
           network: bool = False, env: Mapping[str, str] | None = None,
           check: bool = True, stdout: Stream = None,
           stderr: Stream = None) -> int:
    """run() of argv in root (enter_argv)."""
    return run(enter_argv(root, argv, binds=binds, cwd=cwd, network=network,
                          env=env),
               timeout=timeout, check=check, stdout=stdout, stderr=stderr,
               env=_python_env())


def mounted_below(folder: Path, mountinfo: str) -> list[str]:
    """The mount points at or below folder in a /proc/self/mountinfo
    text."""
    prefix = str(folder).rstrip("/")
    points = []
    for line in mountinfo.splitlines():
        fields = line.split()
        if len(fields) > 4:
            point = fields[4].replace("\\040", " ")
            if point == prefix or point.startswith(prefix + "/"):
                points.append(point)
    return points


class Environment:
    """A fresh root of one tarball, removed on leaving. Its programs see
    this machine's files only through binds."""

    def __init__(self, image: Path, scratch: Path) -> None:
        self.image = image
        self.scratch = scratch
        self.root = Path()
        self.extract_s = 0.0

    def __enter__(self) -> Environment:
        start = time.monotonic()
        self.scratch.mkdir(parents=True, exist_ok=True)
        self.root = Path(tempfile.mkdtemp(
            prefix=self.image.name.split("-")[0] + ".", dir=self.scratch))
        run(tar_argv("-C", self.root, "-xf", self.image),
            timeout=TAR_LIMIT_S)
        self.extract_s = time.monotonic() - start
        return self

    def __exit__(self, *_: object) -> None:
        remove_root(self.root)

    def run(self, argv: Argv, *, timeout: float, binds: Sequence[Bind] = (),
            cwd: Path = Path("/"), network: bool = False,
            env: Mapping[str, str] | None = None, check: bool = True,
            stdout: Stream = None, stderr: Stream = None) -> int:
        return run_in(self.root, argv, timeout=timeout, binds=binds, cwd=cwd,
                      network=network, env=env, check=check, stdout=stdout,
                      stderr=stderr)

    def capture(self, argv: Argv, *, timeout: float,
                binds: Sequence[Bind] = (), cwd: Path = Path("/"),
                env: Mapping[str, str] | None = None) -> Result:
        return capture(enter_argv(self.root, argv, binds=binds, cwd=cwd,
                                  env=env),
                       timeout=timeout, env=_python_env())


def remove_root(root: Path) -> None:
    """rm -rf of an extracted root, refused while anything is mounted in
    it: the binds are the tree itself."""
    if not root.is_dir():
        return
    points = mounted_below(root.resolve(),
                           Path("/proc/self/mountinfo").read_text())
    if points:
        raise Failure(f"not removing {root}: {' '.join(points)} mounted")
    shutil.rmtree(root)


def make(image: Path, suite: str, native: str, uri: str,
         control: Path) -> None:
    """The tarball: mmdebstrap's root with the build dependencies of both
    architectures added by apt-get build-dep, lists and downloads
    dropped."""
    cache = image.parent
    new = cache / f".{image.name}.root"
    remove_root(new)
    log = cache / f"{suite}.log"
    start = time.monotonic()
    with log.open("wb") as sink:
        status = run(["mmdebstrap", "--mode=root", "--variant=buildd",
                      "--format=directory", "--skip=cleanup/apt/lists",
                      f"--architectures={native},{FOREIGN}",
                      '--aptopt=Acquire::Languages "none"',
                      "--include=" + ",".join(PACKAGES), suite, new,
                      f"deb {uri} {suite} main"], stdout=sink, stderr=sink,
                     timeout=MMDEBSTRAP_LIMIT_S, check=False)
        made_s = time.monotonic() - start
        if status == 0:
            # apt-get build-dep takes a source folder: debian/control is
            # all it reads.
            source = new / "tmp/vantor-build-deps"
            (source / "debian").mkdir(parents=True)
            shutil.copy(control, source / "debian/control")
            both: list[list[str]] = [[], ["--host-architecture", FOREIGN]]
            for arch in both:
                status = run_in(
                    new, ["apt-get", "build-dep", "-y", "-q",
                          "--no-install-recommends", "-P", "nocheck", *arch,
                          "/tmp/vantor-build-deps"], network=True,
                    env={"DEBIAN_FRONTEND": "noninteractive"},
                    timeout=BUILD_DEP_LIMIT_S, check=False, stdout=sink,
                    stderr=sink)
                if status != 0:
                    break
            shutil.rmtree(source)
    if status != 0:
        show("".join(log.read_text(errors="replace")
                     .splitlines(True)[-25:]))
        remove_root(new)
        raise Failure(f"the {suite} environment could not be made "
                      f"(log: {log})")
    deps_s = time.monotonic() - start - made_s
    for folder in ("var/lib/apt/lists", "var/cache/apt/archives"):
        for path in (new / folder).glob("*"):
            if path.is_file():
                path.unlink()
    partial = image.with_name(f".{image.name}.partial")
    run(tar_argv("-C", new, "-cf", partial, "."), timeout=TAR_LIMIT_S)
    remove_root(new)
    partial.replace(image)
    tell(f"environment: {image.name} made in "
         f"{time.monotonic() - start:.0f} s (mmdebstrap {made_s:.0f} s, "
         f"build dependencies {deps_s:.0f} s, "
         f"{image.stat().st_size >> 20} MiB)")


def ensure(root: Path, suite: str, native: str,
           env: Mapping[str, str] = os.environ) -> Path:
    """The tarball of suite for this tree's debian/control, made when
    missing or a week old; older ones of the suite go."""
    control = root / "debian/control"
    uri = mirror()
    cache = cache_dir(root, env)
    cache.mkdir(parents=True, exist_ok=True)
    image = tarball(cache, suite, key(
        suite, uri, (native, FOREIGN), PACKAGES,
        build_depends(control.read_text())))
    if stale(image, time.time(), MAX_DAYS):
        tell(f"environment: making {image.name} ({suite}, {native} and "
             f"{FOREIGN}) from {uri}; takes minutes")
        make(image, suite, native, uri, control)
        for old in cache.glob(f"{suite}-*.tar.zst"):
            if old != image:
                old.unlink()
    return image


def main_enter(args: list[str]) -> int:
    """`python3 -m debpkg enter PLAN`: what enter_argv runs."""
    if len(args) != 1:
        return 2
    try:
        enter(args[0])
    except (OSError, subprocess.SubprocessError, Failure) as e:
        print(f"enter: {e}", file=sys.stderr)
        return 1
    return 0  # Not reached: enter() replaces the process.
