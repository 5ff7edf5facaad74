# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""What symbolize reads of an ELF file itself: program headers, notes and
the memory a core holds. Only enough to pick packages and to hand gdb a
core it reads whole; the backtraces are gdb's."""

from __future__ import annotations

import dataclasses
import shutil
import struct
from pathlib import Path

ET_CORE = 4
PT_NULL, PT_LOAD, PT_NOTE = 0, 1, 4
PF_R = 4
NT_PRPSINFO, NT_AUXV = 3, 6
AT_NULL, AT_PHDR, AT_EXECFN = 0, 3, 31
PAGE = 4096
# Where fname sits in struct elf_prpsinfo, by the note's size: 32-bit ARM
# (16-bit uid_t) and 64-bit targets.
_PRPSINFO_FNAME = {124: 28, 136: 40}


class NotElf(Exception):
    pass


@dataclasses.dataclass(frozen=True)
class Segment:
    type: int
    offset: int
    vaddr: int
    filesz: int
    memsz: int
    flags: int
    header_at: int  # The program header's own offset in the file.


@dataclasses.dataclass(frozen=True)
class Elf:
    path: Path
    kind: int  # e_type.
    bits: int
    endian: str  # struct's "<" or ">".
    phoff: int
    segments: tuple[Segment, ...]

    def loads(self) -> list[Segment]:
        return [s for s in self.segments if s.type == PT_LOAD]


def read(path: Path) -> Elf:
    with open(path, "rb") as f:
        ident = f.read(64)
        if len(ident) < 52 or ident[:4] != b"\x7fELF":
            raise NotElf(f"{path}: not an ELF file")
        bits = {1: 32, 2: 64}.get(ident[4])
        endian = {1: "<", 2: ">"}.get(ident[5])
        if bits is None or endian is None:
            raise NotElf(f"{path}: an ELF class or byte order not known")
        file_type, = struct.unpack_from(endian + "H", ident, 16)
        if bits == 32:
            phoff, = struct.unpack_from(endian + "I", ident, 28)
            entsize, count = struct.unpack_from(endian + "HH", ident, 42)
            layout = endian + "IIIIIIII"
        else:
            phoff, = struct.unpack_from(endian + "Q", ident, 32)
            entsize, count = struct.unpack_from(endian + "HH", ident, 54)
            layout = endian + "IIQQQQQQ"
        f.seek(phoff)
        table = f.read(entsize * count)
    segments = []
    for i in range(count):
        fields = struct.unpack_from(layout, table, i * entsize)
        if bits == 32:
            kind, offset, vaddr, _, filesz, memsz, flags, _ = fields
        else:
            kind, flags, offset, vaddr, _, filesz, memsz, _ = fields
        segments.append(Segment(kind, offset, vaddr, filesz, memsz, flags,
                                phoff + i * entsize))
    return Elf(path, file_type, bits, endian, phoff, tuple(segments))


def notes(elf: Elf) -> list[tuple[str, int, bytes]]:
    """(name, type, descriptor) of every note."""
    found = []
    with open(elf.path, "rb") as f:
        for segment in elf.segments:
            if segment.type != PT_NOTE:
                continue
            f.seek(segment.offset)
            data = f.read(segment.filesz)
            at = 0
            while at + 12 <= len(data):
                namesz, descsz, kind = struct.unpack_from(elf.endian + "III",
                                                          data, at)
                at += 12
                name = data[at:at + namesz].rstrip(b"\0").decode(
                    errors="replace")
                at += (namesz + 3) & ~3
                found.append((name, kind, data[at:at + descsz]))
                at += (descsz + 3) & ~3
    return found


def auxv(elf: Elf, descriptor: bytes) -> dict[int, int]:
    word = "I" if elf.bits == 32 else "Q"
    size = struct.calcsize(word)
    values = {}
    for at in range(0, len(descriptor) - 2 * size + 1, 2 * size):
        key, value = struct.unpack_from(elf.endian + word * 2, descriptor, at)
        if key == AT_NULL:
            break
        values[key] = value
    return values


def read_memory(elf: Elf, address: int, size: int) -> bytes | None:
    """size bytes at address of the core's memory, or fewer up to the end of
    the segment; None where the core holds none."""
    for s in elf.loads():
        if s.vaddr <= address < s.vaddr + s.filesz:
            with open(elf.path, "rb") as f:
                f.seek(s.offset + address - s.vaddr)
                return f.read(min(size, s.vaddr + s.filesz - address))
    return None


@dataclasses.dataclass(frozen=True)
class Process:
    program: str  # As the process was started: a path, maybe relative.
    phdr: int  # AT_PHDR: where the program's headers were mapped.


def process(core: Elf) -> Process:
    program, phdr = "", 0
    for name, kind, descriptor in notes(core):
        if name != "CORE":
            continue
        if kind == NT_AUXV:
            values = auxv(core, descriptor)
            phdr = values.get(AT_PHDR, 0)
            memory = read_memory(core, values.get(AT_EXECFN, 0), 4096)
            if memory and b"\0" in memory:
                program = memory.split(b"\0")[0].decode(errors="replace")
        elif kind == NT_PRPSINFO and not program:
            at = _PRPSINFO_FNAME.get(len(descriptor))
            if at is not None:
                program = descriptor[at:at + 16].split(b"\0")[0].decode(
                    errors="replace")
    return Process(program, phdr)


def page_span(base: int, segment: Segment) -> tuple[int, int]:
    start = base + segment.vaddr
    end = start + segment.memsz
    return start & ~(PAGE - 1), (end + PAGE - 1) & ~(PAGE - 1)


def program_fits(core: Elf, phdr: int, program: Elf) -> bool:
    """Whether program's first segment, loaded where the core says its
    headers were, spans exactly one of the core's mappings: a build of
    other code has another size, to the page, nearly always."""
    loads = program.loads()
    if not loads or not phdr:
        return False
    start, end = page_span(phdr - program.phoff, loads[0])
    return any(s.vaddr == start and s.vaddr + s.memsz == end
               for s in core.loads())


def empty_mappings(core: Elf) -> list[Segment]:
    """Readable mappings that the core records with no contents: qemu's
    user mode leaves out code so, ELF headers and build-ids with it, and
    gdb would read zeros there instead of the files' bytes."""
    return [s for s in core.loads()
            if s.filesz == 0 and s.memsz > 0 and s.flags & PF_R]


def without_empty_mappings(core: Elf, copy: Path) -> Path:
    """A copy of the core whose empty mappings are no longer listed, so
    that gdb reads them from the files; the core itself when it has
    none."""
    empty = empty_mappings(core)
    if not empty:
        return core.path
    shutil.copyfile(core.path, copy)
    with open(copy, "r+b") as f:
        for segment in empty:
            f.seek(segment.header_at)
            f.write(struct.pack(core.endian + "I", PT_NULL))
    return copy
