# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/symbolize's command line and the order of its steps."""

from __future__ import annotations

import dataclasses
import functools
import os
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from aptrepo.releases import DEBIAN_VERSIONS
from debpkg import apt

from . import elf, index, reading
from .common import EXIT_USAGE, Failure, Usage

USAGE = """\
Usage: scripts/symbolize [--repo DIR|URL] [--suite SUITE]...
                         [--sysroot DIR]... CORE

Prints every thread's backtrace of CORE, a core dump of one of the
project's programs on a device (coredumpctl dump's output), with function
names, and source file:line for the project's code. The modules' build-ids
in CORE (eu-unstrip -n --core) pick the -dbgsym packages that hold their
debug information, and the packages of the same version hold the
binaries; both are extracted to a scratch folder laid out as the device's
file system, and gdb-multiarch reads CORE there. A core without build-ids
(qemu's user mode writes them so) is matched by its program's name: the
newest version whose program spans what the core maps is taken, and the
output says so.

--repo: a repository that scripts/apt-repo made, a folder or its http(s)
URL (its main and debug components, every suite; downloads are kept in
$XDG_CACHE_HOME/vantor-symbolize by SHA-256). Without it, the packages
that scripts/package left in build-deb/*/*/. --suite: only those suites of
the repository. --sysroot: a root file system of the device's Debian
release (a board image, or one with its -dbgsym packages too), for the
frames in Debian's own libraries; without one those have no names.
Installs gdb-multiarch and elfutils when missing. The time taken goes to
standard error.
Exit status: 0 done, 1 a failure (a core no package matches among them),
2 usage."""

ROOT = Path(__file__).resolve().parents[2]
TOOLS = ["gdb-multiarch", "elfutils"]
UNSTRIP_LIMIT_S = 120
GDB_LIMIT_S = 600
DPKG_LIMIT_S = 120
PROGRAM_FOLDERS = ("usr/bin", "usr/sbin", "bin", "sbin", "usr/libexec")


@dataclasses.dataclass
class Options:
    core: Path
    repo: str = ""
    suites: list[str] = dataclasses.field(default_factory=list)
    sysroots: list[Path] = dataclasses.field(default_factory=list)


def parse(argv: list[str]) -> Options:
    values: dict[str, list[str]] = {"--repo": [], "--suite": [],
                                    "--sysroot": []}
    core = None
    args = list(argv)
    while args:
        arg = args.pop(0)
        if arg in values:
            if not args or not args[0]:
                raise Usage()
            values[arg].append(args.pop(0))
        elif arg.startswith("-") or core is not None:
            raise Usage()
        else:
            core = arg
    if core is None or len(values["--repo"]) > 1:
        raise Usage()
    return Options(Path(core), "".join(values["--repo"]), values["--suite"],
                   [Path(p) for p in values["--sysroot"]])


def cache_folder() -> Path:
    base = os.environ.get("XDG_CACHE_HOME") or Path.home() / ".cache"
    return Path(base) / "vantor-symbolize"


def source_of(options: Options) -> index.Source:
    if not options.repo:
        debs = sorted((ROOT / "build-deb").glob("*/*/*.deb"))
        if not debs:
            raise Failure(f"no packages in {ROOT}/build-deb/*/*/; give "
                          "--repo")
        return index.Folder(debs)
    suites = options.suites
    if not suites and not re.match(r"https?://", options.repo):
        suites = sorted(p.name for p in Path(options.repo, "dists").glob("*"))
    return index.Repository(options.repo, suites or sorted(DEBIAN_VERSIONS),
                            cache_folder())


def modules_of(core: Path) -> list[reading.Module]:
    done = subprocess.run(["eu-unstrip", "-n", "--core", str(core)],
                          text=True, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=UNSTRIP_LIMIT_S)
    # A core without the modules' headers is no failure here: see choose().
    if done.returncode != 0 and "No modules recognized" not in done.stderr:
        raise Failure(f"eu-unstrip -n --core {core}: {done.stderr.strip()}")
    return reading.parse_unstrip(done.stdout)


def newest_first(versions: set[str]) -> list[str]:
    def compare(a: str, b: str) -> int:
        if a == b:
            return 0
        later = subprocess.run(["dpkg", "--compare-versions", a, "gt", b],
                               timeout=DPKG_LIMIT_S).returncode == 0
        return -1 if later else 1
    return sorted(versions, key=functools.cmp_to_key(compare))


def extract(entries: list[index.Entry], source: index.Source,
            root: Path) -> None:
    root.mkdir(parents=True, exist_ok=True)
    for entry in entries:
        subprocess.run(["dpkg-deb", "-x", str(source.fetch(entry)),
                        str(root)], check=True, timeout=DPKG_LIMIT_S)


def find_program(root: Path, program: str) -> Path | None:
    name = Path(program).name
    for folder in PROGRAM_FOLDERS:
        if name and (root / folder / name).is_file():
            return root / folder / name
    return None


@dataclasses.dataclass
class Choice:
    root: Path
    program: Path | None
    said: list[str]  # What was taken, and how.


def with_binaries(debug: list[index.Entry],
                  entries: list[index.Entry]) -> list[index.Entry]:
    chosen = []
    for entry in debug:
        binaries = index.binaries_of(entry, entries)
        if binaries is None:
            raise Failure(f"{entry.package} {entry.version}: no "
                          f"{entry.binary_package} of that version beside "
                          "it, which holds the binaries")
        chosen += [binaries, entry]
    return chosen


def by_build_ids(modules: list[reading.Module], source: index.Source,
                 root: Path, process: elf.Process) -> Choice:
    known = index.by_build_id(source.entries)
    matched = {m.build_id: known[m.build_id] for m in modules
               if m.build_id in known}
    if not matched:
        listed = "\n".join(f"  {m.build_id} {m.name}" for m in modules
                           if m.build_id)
        raise Failure("no package holds the debug information of any "
                      f"module of the core; its build-ids:\n{listed}")
    debug = sorted(set(matched.values()), key=lambda e: e.package)
    extract(with_binaries(debug, source.entries), source, root)
    said = [f"{e.package} {e.version}: " + " ".join(
        sorted(i for i in matched if matched[i] == e)) for e in debug]
    program = next((root / m.name.lstrip("/") for m in modules
                    if m.build_id in matched and m.name.startswith("/")
                    and Path(m.name).name == Path(process.program).name),
                   None)
    return Choice(root, program or find_program(root, process.program),
                  said)


def by_program(core: elf.Elf, process: elf.Process, source: index.Source,
               scratch: Path) -> Choice:
    """A core without build-ids: each version with debug symbols, newest
    first, until one's program spans what the core maps."""
    debug = [e for e in source.entries if e.debug]
    for number, version in enumerate(newest_first({e.version
                                                   for e in debug})):
        root = scratch / f"root-{number}"
        chosen = with_binaries([e for e in debug if e.version == version],
                               source.entries)
        extract(chosen, source, root)
        program = find_program(root, process.program)
        if program and elf.program_fits(core, process.phdr, elf.read(program)):
            return Choice(root, program, [
                f"the core holds no build-ids; taken by its program's name "
                f"and layout: {e.package} {e.version}"
                for e in chosen if e.debug])
    raise Failure(f"the core holds no build-ids, and no package's "
                  f"{Path(process.program).name or 'program'} spans what "
                  f"the core maps (versions: "
                  f"{' '.join(sorted({e.version for e in debug})) or 'none'})")


def search_path(root: Path, sysroots: list[Path]) -> list[Path]:
    """Where gdb looks for a library by its name when the path that the
    core gives is not under the root (a program run from another
    folder)."""
    ours = sorted({p.parent for p in root.rglob("*.so*")
                   if "/usr/lib/debug" not in str(p)})
    theirs = [folder for sysroot in sysroots
              for pattern in ("lib/*-linux-*", "usr/lib/*-linux-*", "lib",
                              "usr/lib")
              for folder in sorted(sysroot.glob(pattern)) if folder.is_dir()]
    return ours + theirs


def link_loader(root: Path, sysroots: list[Path]) -> None:
    """The device's dynamic loader under the root, where the program names
    it: gdb finds the libraries through the loader's list."""
    for sysroot in sysroots:
        for loader in sorted(sysroot.glob("lib/ld-linux*.so*")):
            there = root / "lib" / loader.name
            if not there.exists():
                there.parent.mkdir(parents=True, exist_ok=True)
                there.symlink_to(loader.resolve())


def gdb(choice: Choice, core: Path, sysroots: list[Path]) -> str:
    debug = [choice.root / "usr/lib/debug"] + [
        s / "usr/lib/debug" for s in sysroots]
    commands = [
        "set debuginfod enabled off",
        "set auto-load safe-path /",
        f"set sysroot {choice.root}",
        f"set debug-file-directory {':'.join(map(str, debug))}",
        "set solib-search-path "
        f"{':'.join(map(str, search_path(choice.root, sysroots)))}",
        "set print frame-arguments scalars",
    ]
    if choice.program:
        commands.append(f"file {choice.program}")
    commands += [f"core-file {core}", "thread apply all bt"]
    argv = ["gdb-multiarch", "-nx", "-batch"]
    for command in commands:
        argv += ["-ex", command]
    done = subprocess.run(argv, text=True, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=GDB_LIMIT_S)
    return done.stdout


def symbolize(options: Options) -> int:
    if not apt.ensure(TOOLS, apt.Settings.from_environment(os.environ)):
        raise Failure(f"could not install {' '.join(TOOLS)}")
    try:
        core = elf.read(options.core)
    except OSError as e:
        raise Failure(f"{options.core}: {e.strerror}") from e
    if core.kind != elf.ET_CORE:
        raise Failure(f"{options.core}: an ELF file, but not a core dump")
    process = elf.process(core)
    source = source_of(options)
    with tempfile.TemporaryDirectory(prefix="symbolize.") as folder:
        scratch = Path(folder)
        modules = modules_of(options.core)
        if any(m.build_id for m in modules):
            choice = by_build_ids(modules, source, scratch / "root", process)
        else:
            choice = by_program(core, process, source, scratch)
        link_loader(choice.root, options.sysroots)
        readable = elf.without_empty_mappings(core, scratch / "core")
        text = reading.backtraces(gdb(choice, readable, options.sysroots))
    summary = reading.summarize(text)
    print(f"symbolize: {options.core}: {process.program or 'a program'}, "
          f"{summary.threads} threads")
    for line in choice.said:
        print(f"symbolize: {line}")
    sys.stdout.write(text)
    if summary.unnamed:
        where = " ".join(summary.unnamed_in) or "libraries not found"
        print(f"symbolize: {summary.unnamed} frames lack names ({where})"
              + ("" if options.sysroots else
                 "; Debian's own libraries need --sysroot DIR, a root file "
                 "system of the device's Debian release, and gdb unwinds "
                 "no further than their first frame without them"))
    if not summary.threads:
        raise Failure(f"gdb-multiarch found no thread in {options.core}")
    return 0


def main(argv: list[str]) -> int:
    started = time.monotonic()
    try:
        return symbolize(parse(argv))
    except Usage as e:
        print(f"symbolize: {e}" if str(e) else USAGE, file=sys.stderr)
        return EXIT_USAGE
    except (Failure, elf.NotElf) as e:
        print(f"symbolize: {e}", file=sys.stderr)
        return 1
    except (OSError, subprocess.SubprocessError) as e:
        print(f"symbolize: {e}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
    finally:
        print(f"symbolize: took {time.monotonic() - started:.2f} s",
              file=sys.stderr)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
