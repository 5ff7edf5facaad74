# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/check-packages: its command line, the checks of each
architecture's packages (scripts/package-test, lintian, hardening-check)
and the order of the rest (reproducible.py, piuparts.py)."""

from __future__ import annotations

import collections
import dataclasses
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from . import apt, piuparts, reproducible
from .common import (Failure, capture, output, run, say, show, tell,
                     visible)

USAGE = "usage: {prog} [--skip reproducible|piuparts]... [ARCH...]"
ROOT = Path(__file__).resolve().parents[2]
TOOLS = ["lintian", "devscripts", "diffoscope", "piuparts", "mmdebstrap",
         "dpkg-dev", "file"]
# Installs a board set into a fresh root and, for armhf, builds the
# examples against it.
PACKAGE_TEST_LIMIT_S = 3600
LINTIAN_LIMIT_S = 1800
TOOL_LIMIT_S = 300


class Usage(Exception):
    pass


@dataclasses.dataclass
class Options:
    skip: set[str] = dataclasses.field(default_factory=set)
    arches: list[str] = dataclasses.field(default_factory=list)


@dataclasses.dataclass
class Report:
    failures: list[str] = dataclasses.field(default_factory=list)

    def fail(self, message: str) -> None:
        say(f"check-packages: FAIL: {message}")
        self.failures.append(message)


def parse(argv: list[str]) -> Options:
    options = Options()
    args = list(argv)
    while args:
        arg = args.pop(0)
        if arg == "--skip":
            if not args:
                raise Usage()
            options.skip.update(args.pop(0).split())
        elif arg.startswith("-"):
            raise Usage()
        else:
            options.arches.append(arg)
    return options


def built_arches(build_deb: Path) -> list[str]:
    """The architectures of build-deb/ARCH/ folders with a .changes."""
    return [folder.name for folder in visible(build_deb, "*")
            if folder.is_dir() and visible(folder, "*.changes")]


def lintian_counts(log: str, package: str) -> str:
    """The tags of each level that lintian's log gives package."""
    counts: collections.Counter[str] = collections.Counter()
    for line in log.splitlines():
        fields = line.split()
        if len(fields) >= 2 and fields[1] == f"{package}:":
            counts[fields[0]] += 1
    return ", ".join(f"{counts[level + ':']} {level}" for level in "EWIPX")


def tag_tally(log: str) -> list[str]:
    """lintian's info, pedantic and experimental lines, each once with
    its count, as `sort | uniq -c` prints them."""
    lines = [line for line in log.splitlines() if re.match(r"[IPX]: ", line)]
    return [f"{n:7d} {line}"
            for line, n in sorted(collections.Counter(lines).items())]


def elf_candidates(tree: Path) -> list[Path]:
    """Regular files that are executable by their owner or named *.so*."""
    found = []
    for folder, _, names in os.walk(tree):
        for name in names:
            path = Path(folder, name)
            mode = path.lstat().st_mode
            if stat.S_ISREG(mode) and (mode & stat.S_IXUSR or
                                       re.fullmatch(r".*\.so.*", name)):
                found.append(path)
    return sorted(found)


def check_arch(root: Path, arch: str, native: str, report: Report) -> None:
    debs = root / "build-deb" / arch
    tell(f"== {arch}")
    emulator = ""
    if arch != native:
        triple = output(["dpkg-architecture", f"-a{arch}",
                         "-qDEB_HOST_MULTIARCH"], timeout=TOOL_LIMIT_S,
                        stderr="drop")
        emulator = f"qemu-arm -L /usr/{triple} -E LD_LIBRARY_PATH=/lib"
    if run([root / "scripts/package-test", debs, root, emulator],
           timeout=PACKAGE_TEST_LIMIT_S, check=False) != 0:
        report.fail(f"{arch}: scripts/package-test")
    lintian(debs, arch, report)
    hardening(debs, arch, report)


def lintian(debs: Path, arch: str, report: Report) -> None:
    """The tags of every level, counted per package; errors and warnings
    fail."""
    changes = visible(debs, "*.changes")
    if not changes:
        raise Failure(f"no .changes in {debs}", 2)
    log = debs / "lintian.log"
    with log.open("wb") as sink:
        run(["lintian", "--pedantic", "--info", "--display-experimental",
             "--tag-display-limit", "0", changes[0]], stdout=sink,
            stderr=sink, timeout=LINTIAN_LIMIT_S, check=False)
    text = log.read_text(errors="replace")
    for deb in visible(debs, "*.deb"):
        name = output(["dpkg-deb", "-f", deb, "Package"], timeout=TOOL_LIMIT_S)
        tell(f"lintian {name} ({arch}): {lintian_counts(text, name)}")
    if run(["lintian", "--fail-on", "error,warning", changes[0]],
           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
           timeout=LINTIAN_LIMIT_S, check=False) != 0:
        show("".join(f"{line}\n" for line in text.splitlines()
                     if re.match(r"[EW]: ", line)))
        report.fail(f"{arch}: lintian errors or warnings")
    for line in tag_tally(text):
        tell(line)


def hardening(debs: Path, arch: str, report: Report) -> None:
    """hardening-check on every program and library. It reads ELF files of
    any architecture; PIE and control-flow protection depend on the
    architecture's defaults, so those two are not asked for."""
    with tempfile.TemporaryDirectory() as folder:
        tree = Path(folder)
        for deb in visible(debs, "*.deb"):
            if "-dbgsym_" not in str(deb):
                run(["dpkg-deb", "-x", deb, tree], timeout=TOOL_LIMIT_S)
        elves = 0
        for path in elf_candidates(tree):
            kind = capture(["file", "-b", path], timeout=TOOL_LIMIT_S)
            if not kind.output.startswith("ELF"):
                continue
            elves += 1
            checked = capture(["hardening-check", "--nopie",
                               "--nocfprotection", path], timeout=TOOL_LIMIT_S)
            if checked.status != 0:
                show(checked.output)
                report.fail(f"{arch}: hardening-check "
                            f"{str(path)[len(folder):]}")
        tell(f"hardening-check ({arch}): {elves} ELF files")


def check(options: Options, root: Path) -> int:
    native = output(["dpkg", "--print-architecture"], timeout=TOOL_LIMIT_S)
    arches = options.arches or built_arches(root / "build-deb")
    if not arches:
        say("check-packages: no packages: run scripts/package")
        return 1
    if not apt.ensure(TOOLS, apt.Settings.from_environment(os.environ)):
        return 1
    report = Report()
    start = time.monotonic()
    for arch in arches:
        check_arch(root, arch, native, report)
    work = Path(tempfile.mkdtemp(prefix="vantor_check_packages.",
                                 dir="/tmp"))
    try:
        if "reproducible" not in options.skip and native in arches:
            reproducible.check(root, native, work, report.fail)
        if "piuparts" not in options.skip and native in arches:
            piuparts.check(root, native, work, report.fail)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    tell(f"check-packages: {' '.join(arches)} in "
         f"{int(time.monotonic() - start)} s")
    if report.failures:
        for failure in report.failures:
            say(f"check-packages: FAIL: {failure}")
        return 1
    tell("check-packages: all passed")
    return 0


def main(argv: list[str], prog: str) -> int:
    try:
        options = parse(argv)
    except Usage:
        say(USAGE.format(prog=prog))
        return 2
    # The scratch folder goes on SIGTERM as on Ctrl-C.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    try:
        return check(options, ROOT)
    except Failure as e:
        if str(e):
            say(f"check-packages: {e}")
        return e.status
    except KeyboardInterrupt:
        return 128 + signal.SIGINT
