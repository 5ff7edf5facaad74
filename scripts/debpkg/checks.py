# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/check-packages: its command line, the checks of one release's
packages of each architecture (scripts/package-test and lintian in a clean
environment of that release, hardening-check here), the unit's exposure as
that release's systemd rates it, and the order of the rest
(reproducible.py, piuparts.py)."""

from __future__ import annotations

import collections
import contextlib
import dataclasses
import lzma
import os
import re
import shutil
import signal
import stat
import sys
import tempfile
import time
from pathlib import Path
from typing import Iterator

from . import apt, buildenv, piuparts, releases, reproducible
from .common import (Failure, capture, output, run, say, show, tell,
                     visible)

USAGE = ("usage: {prog} [--suite bookworm|trixie] "
         "[--skip reproducible|piuparts|exposure]... [ARCH...]")
ROOT = Path(__file__).resolve().parents[2]
# What runs here rather than in the release's environment: hardening-check
# (devscripts) reads ELF files of any release; the emulator of the armhf
# package test is a static program that runs in any root.
TOOLS = ["devscripts", "diffoscope", "piuparts", "mmdebstrap", "zstd",
         "dpkg-dev", "file", "qemu-user-static"]
EMULATOR = Path("/usr/bin/qemu-arm-static")
# The unit's sandbox as systemd-analyze security rates it (lower is safer);
# the board checks the same bound.
MAX_EXPOSURE = 2.0
# Installs a board set into a fresh root and, for armhf, builds the
# examples against it.
PACKAGE_TEST_LIMIT_S = 3600
LINTIAN_LIMIT_S = 1800
TOOL_LIMIT_S = 300


class Usage(Exception):
    pass


@dataclasses.dataclass
class Options:
    suite: str = releases.DEFAULT_SUITE
    skip: set[str] = dataclasses.field(default_factory=set)
    arches: list[str] = dataclasses.field(default_factory=list)


@dataclasses.dataclass
class Report:
    failures: list[str] = dataclasses.field(default_factory=list)
    times: list[str] = dataclasses.field(default_factory=list)

    def fail(self, message: str) -> None:
        say(f"check-packages: FAIL: {message}")
        self.failures.append(message)

    @contextlib.contextmanager
    def stage(self, name: str) -> Iterator[None]:
        """Times what runs inside as the stage name."""
        start = time.monotonic()
        try:
            yield
        finally:
            self.times.append(f"{name} {time.monotonic() - start:.0f} s")


def parse(argv: list[str]) -> Options:
    options = Options()
    args = list(argv)
    while args:
        arg = args.pop(0)
        if arg == "--skip":
            if not args:
                raise Usage()
            options.skip.update(args.pop(0).split())
        elif arg == "--suite":
            if not args or args[0] not in releases.RELEASES:
                raise Usage()
            options.suite = args.pop(0)
        elif arg.startswith("-"):
            raise Usage()
        else:
            options.arches.append(arg)
    return options


def built_arches(build_deb: Path) -> list[str]:
    """The architectures of build-deb/SUITE/ARCH/ folders with a .changes
    (build_deb: build-deb/SUITE)."""
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


def exposure_score(text: str) -> float | None:
    """The overall exposure in systemd-analyze security's table."""
    match = re.search(r"Overall exposure level for [^:]*: ([0-9.]+)", text)
    return float(match.group(1)) if match else None


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


def check_arch(env: buildenv.Environment, root: Path, debs: Path,
               arch: str, native: str, report: Report) -> None:
    tell(f"== {arch}")
    binds = [buildenv.Bind(root), buildenv.Bind(debs)]
    emulator = ""
    if arch != native:
        triple = output(["dpkg-architecture", f"-a{arch}",
                         "-qDEB_HOST_MULTIARCH"], timeout=TOOL_LIMIT_S,
                        stderr="drop")
        inside = Path("/usr/local/bin/qemu-arm")
        binds.append(buildenv.Bind(EMULATOR, target=inside))
        emulator = f"{inside} -L /usr/{triple} -E LD_LIBRARY_PATH=/lib"
    # The release's programs run in the release's root: a Debian 13
    # build needs its C and C++ runtime.
    with report.stage(f"package-test {arch}"):
        if env.run([root / "scripts/package-test", debs, root, emulator],
                   binds=binds, network=True, timeout=PACKAGE_TEST_LIMIT_S,
                   check=False) != 0:
            report.fail(f"{arch}: scripts/package-test")
    with report.stage(f"lintian {arch}"):
        lintian(env, debs, arch, report)
    with report.stage(f"hardening-check {arch}"):
        hardening(debs, arch, report)


def lintian(env: buildenv.Environment, debs: Path, arch: str,
            report: Report) -> None:
    """The release's lintian: the tags of every level, counted per
    package; errors and warnings fail."""
    changes = visible(debs, "*.changes")
    if not changes:
        raise Failure(f"no .changes in {debs}", 2)
    log = debs / "lintian.log"
    with log.open("wb") as sink:
        status = env.run(
            ["lintian", "--fail-on", "error,warning", "--pedantic", "--info",
             "--display-experimental", "--tag-display-limit", "0",
             changes[0]], binds=[buildenv.Bind(debs)], stdout=sink,
            stderr=sink, timeout=LINTIAN_LIMIT_S, check=False)
    text = log.read_text(errors="replace")
    version = env.capture(["dpkg-query", "-W", "-f", "${Version}", "lintian"],
                          timeout=TOOL_LIMIT_S).output.strip()
    for deb in visible(debs, "*.deb"):
        name = output(["dpkg-deb", "-f", deb, "Package"], timeout=TOOL_LIMIT_S)
        tell(f"lintian {version} {name} ({arch}): "
             f"{lintian_counts(text, name)}")
    if status != 0:
        show("".join(f"{line}\n" for line in text.splitlines()
                     if re.match(r"[EW]: ", line)))
        report.fail(f"{arch}: lintian errors or warnings")
    for line in tag_tally(text):
        tell(line)


def exposure(env: buildenv.Environment, debs: Path, report: Report) -> None:
    """systemd-analyze security of the release's systemd on the unit as
    the sample package ships it."""
    samples = visible(debs, "vantor-device-sample_*.deb")
    if not samples:
        raise Failure(f"no vantor-device-sample package in {debs}", 2)
    with tempfile.TemporaryDirectory() as folder:
        run(["dpkg-deb", "-x", samples[0], folder], timeout=TOOL_LIMIT_S)
        units = sorted(Path(folder).glob("**/systemd/system/*.service"))
        if not units:
            report.fail("exposure: no unit in vantor-device-sample")
            return
        result = env.capture(["systemd-analyze", "security", "--offline=true",
                              "--no-pager", units[0]],
                             binds=[buildenv.Bind(Path(folder))],
                             timeout=TOOL_LIMIT_S)
        version = env.capture(["systemd-analyze", "--version"],
                              timeout=TOOL_LIMIT_S).output.split("\n")[0]
    score = exposure_score(result.output)
    tell(f"exposure: {score if score is not None else 'no score'} "
         f"(systemd-analyze security --offline, {version}; at most "
         f"{MAX_EXPOSURE})")
    if score is None or score > MAX_EXPOSURE:
        show(result.output)
        report.fail(f"exposure of {units[0].name}: {score}")


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
        scratch = Path(folder) / "gnu_debugdata.elf"
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
            lacking = trace_sections(path, scratch)
            if lacking:
                report.fail(f"{arch}: {str(path)[len(folder):]}: {lacking}")
        tell(f"hardening-check ({arch}): {elves} ELF files, each with "
             "its function names and call frames for a crash trace")


def sections(readelf_s: str) -> dict[str, tuple[int, int, str]]:
    """`readelf -S -W`: each section's file offset, size and flags."""
    found = {}
    for line in readelf_s.splitlines():
        match = re.match(r"\s*\[\s*\d+\]\s+(\S+)\s+\S+\s+[0-9a-f]+\s+"
                         r"([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+"
                         r"([A-Za-z]*)", line)
        if match:
            found[match[1]] = (int(match[2], 16), int(match[3], 16),
                               match[4])
    return found


def trace_sections(path: Path, scratch: Path) -> str | None:
    """What a device's crash trace lacks in a shipped ELF file, or None:
    call frame information that elfutils reads (a compressed .debug_frame,
    or .eh_frame where the architecture unwinds by it; on armhf the
    unwind tables are .ARM.exidx) and the names of its functions
    (.gnu_debugdata, an xz-compressed symbol table)."""
    table = sections(capture(["readelf", "-S", "-W", path],
                             timeout=TOOL_LIMIT_S).output)
    frame = table.get(".debug_frame")
    if frame is not None and "C" not in frame[2]:
        return ".debug_frame not compressed"
    if frame is None and (".ARM.exidx" in table or
                          ".eh_frame" not in table):
        return "no compressed .debug_frame"
    if ".gnu_debugdata" not in table:
        return "no .gnu_debugdata"
    offset, size, _ = table[".gnu_debugdata"]
    with path.open("rb") as elf:
        elf.seek(offset)
        packed = elf.read(size)
    try:
        scratch.write_bytes(lzma.decompress(packed))
    except lzma.LZMAError as error:
        return f".gnu_debugdata is not xz: {error}"
    symbols = capture(["readelf", "-s", "-W", scratch],
                      timeout=TOOL_LIMIT_S).output
    # .symtab's own: readelf lists .dynsym too, which names only exports.
    table_name, functions = "", 0
    for line in symbols.splitlines():
        heading = re.match(r"Symbol table '([^']*)'", line)
        if heading:
            table_name = heading[1]
        elif table_name == ".symtab" and re.search(r"\sFUNC\s", line):
            functions += 1
    return None if functions else ".gnu_debugdata names no function"


def check(options: Options, root: Path) -> int:
    native = output(["dpkg", "--print-architecture"], timeout=TOOL_LIMIT_S)
    suite = options.suite
    build_deb = root / "build-deb" / suite
    arches = options.arches or built_arches(build_deb)
    if not arches:
        say(f"check-packages: no {suite} packages: run scripts/package "
            f"--suite {suite}")
        return 1
    if not apt.ensure(TOOLS, apt.Settings.from_environment(os.environ)):
        return 1
    report = Report()
    start = time.monotonic()
    with report.stage("environment"):
        image = buildenv.ensure(root, suite, native)
    # One fresh root for every judge of the run: none of them installs
    # anything into it (the package test installs into a root of its own).
    with buildenv.Environment(image, image.parent / "roots") as env:
        report.times.append(f"extraction {env.extract_s:.0f} s")
        for arch in arches:
            check_arch(env, root, releases.out_folder(root / "build-deb",
                                                      suite, arch),
                       arch, native, report)
        if "exposure" not in options.skip:
            with report.stage("exposure"):
                exposure(env, build_deb / arches[0], report)
    work = Path(tempfile.mkdtemp(prefix="vantor_check_packages.",
                                 dir="/tmp"))
    try:
        if "reproducible" not in options.skip and native in arches:
            with report.stage("reproducible"):
                reproducible.check(root, suite, native, work, report.fail)
        if "piuparts" not in options.skip and native in arches:
            with report.stage("piuparts"):
                piuparts.check(root, suite, native, work, report.fail)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    tell(f"check-packages: {suite} {' '.join(arches)} in "
         f"{int(time.monotonic() - start)} s ({', '.join(report.times)})")
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
