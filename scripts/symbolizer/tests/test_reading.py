# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

from __future__ import annotations

import struct
import tempfile
import unittest
from pathlib import Path

from symbolizer import elf, index, reading

SAMPLE_ID = "2b65223f2066267825dc17bc9ba91b530526e69e"
HOST_ID = "229ced6faab1ff68094e6d5061860523a28c7b75"


class UnstripTest(unittest.TestCase):
    def test_modules(self):
        cases = [
            ("a device's core",
             f"0x400000+0x22000 {SAMPLE_ID}@0x400170 . - "
             "/usr/bin/assistant_sample\n"
             f"0xb6f00000+0x4b000 {HOST_ID.upper()}@0xb6f00134 - - "
             "/usr/lib/arm-linux-gnueabihf/libvantor.so\n"
             "0xbeefe000+0x1000 abcdef@0xbeefe1d4 . - linux-vdso.so.1\n",
             [reading.Module(0x400000, SAMPLE_ID, "/usr/bin/assistant_sample"),
              reading.Module(0xb6f00000, HOST_ID,
                             "/usr/lib/arm-linux-gnueabihf/libvantor.so"),
              reading.Module(0xbeefe000, "abcdef", "linux-vdso.so.1")]),
            ("a module without a build-id, a path with a space",
             "0x10000+0x1000 - - - /opt/my tools/lib.so\n",
             [reading.Module(0x10000, "", "/opt/my tools/lib.so")]),
            ("an error line and nothing", "eu-unstrip: No modules "
             "recognized in core file\n\n", []),
        ]
        for name, text, expected in cases:
            with self.subTest(name):
                self.assertEqual(reading.parse_unstrip(text), expected)


BACKTRACES = """\
[New LWP 3588]
Using host libthread_db library "/lib/x86_64-linux-gnu/libthread_db.so.1".

Thread 2 (Thread 0x3bfff160 (LWP 3597)):
#0  0x3f467616 in ?? () from /lib/arm-linux-gnueabihf/libc.so.6
#1  0x3f4a562a in pthread_cond_wait () from /lib/arm-linux-gnueabihf/libc.so.6
#2  0x3f7b7504 in core::CondVar::Wait (this=<optimized out>) at \
./core/synchronization.cc:50
#3  core::Thread::Run (this=0x400432d4) at ./core/thread.cc:60

Thread 1 (LWP 3588):
#0  0x3f467616 in ?? ()
"""


class GdbOutputTest(unittest.TestCase):
    def test_noise_goes_frames_stay(self):
        kept = reading.backtraces(BACKTRACES)
        self.assertNotIn("New LWP", kept)
        self.assertNotIn("libthread_db", kept)
        self.assertIn("#3  core::Thread::Run", kept)

    def test_summary(self):
        self.assertEqual(reading.summarize(BACKTRACES), reading.Summary(
            threads=2, frames=5, with_lines=2, unnamed=2,
            unnamed_in=("/lib/arm-linux-gnueabihf/libc.so.6",)))


PACKAGES = f"""\
Package: vantor-device-sample
Architecture: armhf
Version: 0.3.0~deb13u1
Filename: pool/trixie/main/vantor-device-sample_0.3.0~deb13u1_armhf.deb
SHA256: 11
Description: the sample
 over two lines: Build-Ids: {HOST_ID}

Package: vantor-device-sample-dbgsym
Architecture: armhf
Version: 0.3.0~deb13u1
Auto-Built-Package: debug-symbols
Filename: pool/trixie/debug/vantor-device-sample-dbgsym_0.3.0~deb13u1_armhf.deb
SHA256: 22
Build-Ids: {SAMPLE_ID} 556D358968DE1877E4D8B4598094BF8704C56A49

Package: vantor-device-sample-dbgsym
Architecture: armhf
Version: 0.2.0~deb13u1
Filename: pool/trixie/debug/vantor-device-sample-dbgsym_0.2.0~deb13u1_armhf.deb
Build-Ids: 0123456789abcdef0123456789abcdef01234567
"""


class PackagesTest(unittest.TestCase):
    def setUp(self):
        self.entries = index.parse_packages(PACKAGES)

    def test_which_deb_holds_a_build_id(self):
        held = index.by_build_id(self.entries)
        cases = [
            (SAMPLE_ID, "vantor-device-sample-dbgsym", "0.3.0~deb13u1"),
            ("556d358968de1877e4d8b4598094bf8704c56a49",
             "vantor-device-sample-dbgsym", "0.3.0~deb13u1"),
            ("0123456789abcdef0123456789abcdef01234567",
             "vantor-device-sample-dbgsym", "0.2.0~deb13u1"),
            # Named in a description, and not by a -dbgsym package.
            (HOST_ID, None, None),
        ]
        for build_id, package, version in cases:
            with self.subTest(build_id=build_id):
                found = held.get(build_id)
                self.assertEqual(found and found.package, package)
                self.assertEqual(found and found.version, version)
        self.assertEqual(held[SAMPLE_ID].location, "pool/trixie/debug/"
                         "vantor-device-sample-dbgsym_0.3.0~deb13u1_armhf.deb")
        self.assertEqual(held[SAMPLE_ID].sha256, "22")

    def test_the_binaries_of_a_debug_package(self):
        held = index.by_build_id(self.entries)
        binaries = index.binaries_of(held[SAMPLE_ID], self.entries)
        assert binaries is not None
        self.assertEqual((binaries.package, binaries.version, binaries.sha256),
                         ("vantor-device-sample", "0.3.0~deb13u1", "11"))
        # No binaries of that version: the pool lost them, or never had.
        older = held["0123456789abcdef0123456789abcdef01234567"]
        self.assertIsNone(index.binaries_of(older, self.entries))

    def test_release_architectures(self):
        self.assertEqual(index.release_architectures(
            "Origin: Vantor\nArchitectures: amd64 armhf\nComponents: main "
            "debug\n"), ["amd64", "armhf"])
        self.assertEqual(index.release_architectures("Origin: Vantor\n"), [])


def elf32(path: Path, file_type: int, loads: list[tuple[int, int, int]],
          notes: bytes = b"", memory: dict[int, bytes] | None = None) -> None:
    """A little-endian ELF32 file: loads as (vaddr, filesz, memsz), each
    readable, the first notes' segment, memory's bytes at their addresses
    (each inside a load)."""
    memory = memory or {}
    count = len(loads) + (1 if notes else 0)
    header = struct.pack("<16sHHIIIIIHHHHHH", b"\x7fELF\x01\x01\x01",
                         file_type, 40, 1, 0, 52, 0, 0, 52, 32, count, 0, 0,
                         0)
    data_at = 52 + 32 * count
    table, body = b"", b""
    if notes:
        table += struct.pack("<8I", elf.PT_NOTE, data_at, 0, 0, len(notes),
                             0, 0, 4)
        body += notes
    for vaddr, filesz, memsz in loads:
        contents = bytearray(filesz)
        for address, data in memory.items():
            if vaddr <= address < vaddr + filesz:
                at = address - vaddr
                contents[at:at + len(data)] = data
        table += struct.pack("<8I", elf.PT_LOAD, data_at + len(body), vaddr,
                             0, filesz, memsz, elf.PF_R, 4096)
        body += bytes(contents)
    path.write_bytes(header + table + body)


def note(name: bytes, kind: int, descriptor: bytes) -> bytes:
    padded = name + b"\0" * (4 - len(name) % 4)
    return (struct.pack("<III", len(name) + 1, len(descriptor), kind)
            + padded + descriptor + b"\0" * (-len(descriptor) % 4))


class CoreTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.tmp = Path(self.folder.name)
        # The program's headers at 0x40000034 (so it was loaded at
        # 0x40000000), its name on the stack.
        auxv = struct.pack("<8I", elf.AT_PHDR, 0x40000034, elf.AT_EXECFN,
                           0xbefff000, elf.AT_NULL, 0, 0, 0)
        self.core = self.tmp / "core"
        elf32(self.core, elf.ET_CORE,
              [(0x40000000, 0, 0x21000), (0x40021000, 0x1000, 0x1000),
               (0xbefff000, 0x1000, 0x1000)],
              notes=note(b"CORE", elf.NT_AUXV, auxv),
              memory={0xbefff000: b"/usr/bin/assistant_sample\0"})

    def tearDown(self):
        self.folder.cleanup()

    def test_the_process(self):
        self.assertEqual(elf.process(elf.read(self.core)),
                         elf.Process("/usr/bin/assistant_sample",
                                     0x40000034))

    def test_which_build_of_the_program_fits(self):
        core = elf.read(self.core)
        cases = [
            ("the build that ran", 0x204ec, True),
            ("one a page longer", 0x214ec, False),
            ("one a page shorter", 0x1f4ec, False),
        ]
        for name, size, fits in cases:
            with self.subTest(name):
                program = self.tmp / "program"
                elf32(program, 3, [(0, size, size), (0x21140, 0xec4, 0xedc)])
                self.assertEqual(elf.program_fits(core, 0x40000034,
                                                  elf.read(program)), fits)

    def test_empty_mappings_are_left_to_the_files(self):
        core = elf.read(self.core)
        readable = elf.without_empty_mappings(core, self.tmp / "copy")
        self.assertEqual(readable, self.tmp / "copy")
        copy = elf.read(readable)
        self.assertEqual([s.vaddr for s in copy.loads()],
                         [0x40021000, 0xbefff000])
        self.assertEqual(elf.process(copy), elf.process(core))
        self.assertEqual(elf.without_empty_mappings(copy, self.tmp / "again"),
                         readable)
        self.assertFalse((self.tmp / "again").exists())

    def test_not_an_elf_file(self):
        (self.tmp / "text").write_text("a core? no\n" * 10)
        with self.assertRaises(elf.NotElf):
            elf.read(self.tmp / "text")


if __name__ == "__main__":
    unittest.main()
