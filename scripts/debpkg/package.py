# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/package: the packages of one Debian release and architecture,
built with dpkg-buildpackage in a clean environment of that release
(buildenv.py), and a listing of what they hold."""

from __future__ import annotations

import dataclasses
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

from . import apt, buildenv, releases
from .common import Failure, output, say, show, tell, visible

USAGE = ("usage: {prog} [--suite bookworm|trixie] [--arch amd64|armhf] "
         "[--out DIR] [--version VERSION]")
ROOT = Path(__file__).resolve().parents[2]
# What this machine needs to make an environment and copy the tree.
TOOLS = ["mmdebstrap", "zstd", "git", "dpkg-dev"]
BUILD_LIMIT_S = 3600
TOOL_LIMIT_S = 300


class Usage(Exception):
    pass


@dataclasses.dataclass
class Options:
    suite: str = releases.DEFAULT_SUITE
    arch: str = ""
    out: Path | None = None
    version: str = ""


def parse(argv: list[str]) -> Options:
    options = Options()
    args = list(argv)
    while args:
        arg = args.pop(0)
        if arg not in ("--suite", "--arch", "--out", "--version") or not args:
            raise Usage()
        value = args.pop(0)
        if not value:
            raise Usage()
        if arg == "--suite":
            if value not in releases.RELEASES:
                raise Usage()
            options.suite = value
        elif arg == "--arch":
            if value not in releases.ARCHES:
                raise Usage()
            options.arch = value
        elif arg == "--out":
            options.out = Path(value)
        else:
            options.version = value
    return options


def tree_files(root: Path) -> list[str]:
    """The tree's tracked and new files, not ignored ones, that exist."""
    listing = output(["git", "-C", root, "ls-files", "-z", "--cached",
                      "--others", "--exclude-standard"], timeout=TOOL_LIMIT_S)
    return [name for name in listing.split("\0")
            if name and os.path.lexists(root / name)]


def copy_tree(root: Path, names: list[str], to: Path) -> None:
    """The files as they are (symbolic links as links, modes kept)."""
    for name in names:
        source, target = root / name, to / name
        target.parent.mkdir(parents=True, exist_ok=True)
        if source.is_symlink():
            os.symlink(os.readlink(source), target)
        else:
            shutil.copy2(source, target)


def changelog_field(changelog: Path, field: str) -> str:
    return output(["dpkg-parsechangelog", "-l", changelog, f"-S{field}"],
                  timeout=TOOL_LIMIT_S)


def add_entry(root: Path, src: Path, base: str,
              target: releases.Release) -> str:
    """The build's own changelog entry on top of the copy's; returns its
    version."""
    changelog = root / "debian/changelog"
    version = releases.build_version(base, target)
    entry = releases.changelog_entry(
        version=version, base=base, target=target,
        maintainer=changelog_field(changelog, "Maintainer"),
        date=releases.entry_date(changelog_field(changelog, "Date")))
    (src / "debian/changelog").write_text(entry + changelog.read_text())
    return version


def listing(out: Path) -> None:
    """Each package's size and fields, and its files with theirs."""
    for deb in visible(out, "*.deb"):
        def field(name: str) -> str:
            return output(["dpkg-deb", "-f", deb, name], timeout=TOOL_LIMIT_S)
        tell(f"\n{deb.name}: {deb.stat().st_size} bytes "
             f"({field('Installed-Size')} KiB installed)")
        if "-dbgsym_" in deb.name:
            continue
        tell(f"  Architecture: {field('Architecture')}")
        tell(f"  {field('Description').splitlines()[0]}")
        for name in ("Depends", "Recommends", "Breaks", "Replaces"):
            value = field(name)
            if value:
                tell(f"  {name}: {value}")
        for line in output(["dpkg-deb", "-c", deb],
                           timeout=TOOL_LIMIT_S).splitlines():
            fields = line.split(None, 5)
            if len(fields) == 6 and not fields[0].startswith("d"):
                tell(f"  {int(fields[2]):9d}  {fields[5]}")


def build(options: Options, root: Path) -> int:
    start = time.monotonic()
    native = output(["dpkg", "--print-architecture"], timeout=TOOL_LIMIT_S)
    arch = options.arch or native
    if arch not in (native, buildenv.FOREIGN):
        raise Failure(f"{arch} is neither this machine's architecture nor "
                      f"{buildenv.FOREIGN}", 2)
    if not apt.ensure(TOOLS, apt.Settings.from_environment(os.environ)):
        return 1
    target = releases.release(options.suite)
    base = options.version or changelog_field(root / "debian/changelog",
                                              "Version")
    try:
        version = releases.build_version(base, target)
    except ValueError as e:
        raise Failure(str(e), 2) from e
    out = (options.out or releases.out_folder(
        root / "build-deb", target.suite, arch)).absolute()
    image = buildenv.ensure(root, target.suite, native)

    shutil.rmtree(out, ignore_errors=True)
    src = out / f"vantor-device-{version}"
    src.mkdir(parents=True)
    copy_tree(root, tree_files(root), src)
    add_entry(root, src, base, target)
    # The tests ran before (scripts/test, CI): nocheck.
    options_env = " ".join(filter(None, [
        "nocheck parallel=2", os.environ.get("DEB_BUILD_OPTIONS", "")]))
    cross = [] if arch == native else ["--host-arch", arch]
    log = out / "build.log"
    with buildenv.Environment(image, image.parent / "roots") as env, \
            log.open("wb") as sink:
        built_at = time.monotonic()
        # The build sees the copy at its own path: a build in another
        # folder still builds there, as the reproducibility check wants.
        status = env.run(
            ["dpkg-buildpackage", "-us", "-uc", "-Pnocheck", *cross],
            binds=[buildenv.Bind(out, writable=True)], cwd=src,
            env={"DEB_BUILD_OPTIONS": options_env}, stdout=sink,
            stderr=subprocess.STDOUT, timeout=BUILD_LIMIT_S, check=False)
    if status != 0:
        show("".join(log.read_text(errors="replace")
                     .splitlines(True)[-40:]))
        raise Failure(f"package: dpkg-buildpackage failed; log: {log}")
    shutil.rmtree(src)
    listing(out)
    shown = out.relative_to(root) if out.is_relative_to(root) else out
    tell(f"\npackage: {target.suite} {arch} packages {version} in {shown}/ "
         f"(environment extracted in {env.extract_s:.0f} s, "
         f"build {time.monotonic() - built_at:.0f} s, in all "
         f"{time.monotonic() - start:.0f} s)")
    return 0


def main(argv: list[str], prog: str) -> int:
    try:
        options = parse(argv)
    except Usage:
        say(USAGE.format(prog=prog))
        return 2
    # The extracted environment goes on SIGTERM as on Ctrl-C.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    try:
        return build(options, ROOT)
    except Failure as e:
        if str(e):
            say(str(e) if str(e).startswith("package:")
                else f"package: {e}")
        return e.status
    except KeyboardInterrupt:
        return 128 + signal.SIGINT
