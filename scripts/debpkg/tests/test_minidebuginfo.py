# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""debian/add-minidebuginfo on a package folder laid out as dh_strip
leaves it: a stripped program, its detached debug file by build-id."""

import lzma
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from debpkg import checks

SCRIPT = Path(__file__).resolve().parents[3] / "debian/add-minidebuginfo"
SOURCE = """\
__attribute__((noinline)) static int only_in_symtab(int x) { return x * 3; }
int exported_too(int x) { return only_in_symtab(x) + 1; }
int main(int c, char **v) { (void)v; return exported_too(c); }
"""


def run(*argv: str, cwd: Path | None = None
        ) -> subprocess.CompletedProcess[str]:
    return subprocess.run(argv, cwd=cwd, text=True, capture_output=True,
                          timeout=120)


@unittest.skipUnless(shutil.which("cc") and shutil.which("objcopy"),
                     "no C compiler or objcopy")
class AddMiniDebugInfoTest(unittest.TestCase):
    """Frames in .eh_frame, as on amd64: only the names are added."""
    FLAGS: list[str] = []

    def setUp(self) -> None:
        self.folder = tempfile.TemporaryDirectory()
        self.root = Path(self.folder.name)
        (self.root / "f.c").write_text(SOURCE)
        # -rdynamic: one function in .dynsym, which the names need not
        # repeat.
        built = run("cc", "-g", "-O1", "-rdynamic", *self.FLAGS, "-o",
                    "full", "f.c", cwd=self.root)
        self.assertEqual(built.returncode, 0, built.stderr)
        notes = run("readelf", "-n", str(self.root / "full")).stdout
        found = re.search(r"Build ID: (\w+)", notes)
        assert found, notes
        self.build_id = found[1]
        self.program = self.root / "debian/pkg/usr/bin/prog"
        self.program.parent.mkdir(parents=True)
        debug = (self.root / "debian/.debhelper/pkg/dbgsym-root/usr/lib/"
                 f"debug/.build-id/{self.build_id[:2]}/"
                 f"{self.build_id[2:]}.debug")
        debug.parent.mkdir(parents=True)
        for argv in (["--only-keep-debug", "--compress-debug-sections",
                      "full", str(debug)],
                     ["--strip-all", "full", str(self.program)]):
            done = run("objcopy", *argv, cwd=self.root)
            self.assertEqual(done.returncode, 0, done.stderr)
        self.debug_file = debug

    def tearDown(self) -> None:
        self.folder.cleanup()

    def names(self) -> set[str]:
        listed = run("readelf", "-S", "-W", str(self.program)).stdout
        offset, size, _ = checks.sections(listed)[".gnu_debugdata"]
        with self.program.open("rb") as elf:
            elf.seek(offset)
            mini = lzma.decompress(elf.read(size))
        (self.root / "mini").write_bytes(mini)
        symbols = run("nm", str(self.root / "mini")).stdout
        return {line.split()[-1] for line in symbols.splitlines()}

    def test_adds_names_and_frames(self) -> None:
        done = run("sh", str(SCRIPT), "pkg", cwd=self.root)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("/usr/bin/prog", done.stdout)
        self.assertIsNone(checks.trace_sections(self.program,
                                                self.root / "scratch"))
        listed = checks.sections(run("readelf", "-S", "-W",
                                     str(self.program)).stdout)
        frame = listed.get(".debug_frame")
        if "-fno-unwind-tables" in self.FLAGS:
            self.assertIsNotNone(frame)
            self.assertIn("C", frame[2] if frame else "")
        else:
            self.assertIsNone(frame)
        names = self.names()
        self.assertIn("only_in_symtab", {n.split(".")[0] for n in names})
        # Exported, so named by .dynsym already; no data symbols either.
        self.assertNotIn("exported_too", names)
        self.assertFalse(names & {"__data_start", "__dso_handle"}, names)
        # The same bytes again from the same input.
        first = self.program.read_bytes()
        run("objcopy", "--strip-all", str(self.root / "full"),
            str(self.program))
        again = run("sh", str(SCRIPT), "pkg", cwd=self.root)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(first, self.program.read_bytes())

    def test_a_program_without_its_debug_file_fails(self) -> None:
        self.debug_file.unlink()
        done = run("sh", str(SCRIPT), "pkg", cwd=self.root)
        self.assertNotEqual(done.returncode, 0)
        self.assertIn(f"no debug file for debian/pkg/usr/bin/prog "
                      f"({self.build_id})", done.stderr)


class DebugFrameTest(AddMiniDebugInfoTest):
    """Frames in .debug_frame alone, as on armhf (whose .ARM.exidx elfutils
    does not read): it is kept too, compressed."""
    FLAGS = ["-fno-asynchronous-unwind-tables", "-fno-unwind-tables"]


if __name__ == "__main__":
    unittest.main()
