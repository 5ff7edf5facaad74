# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""What the tools print, read: eu-unstrip's modules of a core and gdb's
backtraces."""

from __future__ import annotations

import dataclasses
import re


@dataclasses.dataclass(frozen=True)
class Module:
    start: int
    build_id: str  # "" when the core holds none for the module.
    name: str  # The mapped file's path, or a name such as linux-vdso.so.1.


def parse_unstrip(text: str) -> list[Module]:
    """eu-unstrip -n --core's lines: START+SIZE BUILDID@ADDR FILE DEBUGFILE
    NAME, BUILDID "-" where there is none."""
    modules = []
    for line in text.splitlines():
        fields = line.split(None, 4)
        if len(fields) < 5 or "+" not in fields[0]:
            continue
        try:
            start = int(fields[0].split("+")[0], 16)
        except ValueError:
            continue
        build_id = fields[1].split("@")[0].lower()
        if not re.fullmatch(r"[0-9a-f]{2,}", build_id):
            build_id = ""
        modules.append(Module(start, build_id, fields[4].strip()))
    return modules


# gdb's noise of a batch run over a core: which threads it found.
_NOISE = re.compile(r"^\[(New LWP|New Thread|Thread debugging using)|"
                    r"^Using host libthread_db")


def backtraces(text: str) -> str:
    return "".join(line for line in text.splitlines(keepends=True)
                   if not _NOISE.match(line))


@dataclasses.dataclass(frozen=True)
class Summary:
    threads: int
    frames: int
    with_lines: int  # Frames with a source file:line.
    unnamed: int  # Frames without a function's name.
    unnamed_in: tuple[str, ...]  # The libraries of those, where gdb knows.


def summarize(text: str) -> Summary:
    frames = re.findall(r"^#\d+\s.*$", text, re.MULTILINE)
    unnamed = sorted({m[1] for m in re.finditer(
        r"^#\d+\s+(?:0x[0-9a-f]+ in )?\?\? \(\) from (\S+)", text,
        re.MULTILINE)})
    return Summary(
        threads=len(re.findall(r"^Thread \d+ ", text, re.MULTILINE)),
        frames=len(frames),
        with_lines=sum(1 for f in frames if re.search(r" at \S+:\d+$", f)),
        unnamed=sum(1 for f in frames if " ?? (" in f),
        unnamed_in=tuple(unnamed))
