# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import os
import subprocess
import tempfile
import unittest
from pathlib import Path

from vboard import coredump, crash
from vboard.common import FILES
from vboard.tests.test_coredump import INFO

SYMBOLIZED = """\
symbolize: sample.core: /usr/bin/assistant_sample, 3 threads

Thread 3 (LWP 812):
#0  0x76a0b1c4 in ?? () from /lib/arm-linux-gnueabihf/libc.so.6

Thread 2 (LWP 820):
#0  0x76a0b1c4 in ?? () from /lib/arm-linux-gnueabihf/libc.so.6

Thread 1 (LWP 815):
#0  vantor_host::(anonymous namespace)::WriteThroughNull (target=0x0, value=90) at ./host/debug/fault_switches.cc:39
#1  0x76e1a2d0 in vantor_host::(anonymous namespace)::CrashOnThisThread () at ./host/debug/fault_switches.cc:45
"""  # noqa: E501


class TableTest(unittest.TestCase):
    def test_rows(self):
        info = coredump.parse_info(INFO)
        kept = coredump.Kept(812, 3.0, None, info, INFO, {}, 1, 2)
        cases = [
            (crash.FAULTS[0], 1, "yes (_ZN10vantor_host12_GLOBAL__N_116"
             "WriteThroughNullEPii)"),
            (crash.FAULTS[1], 1, "yes (_ZN10vantor_host12_GLOBAL__N_116"
             "WriteThroughNullEPii, main, _ZZN10vantor_host21Register"),
        ]
        for fault, named, said in cases:
            with self.subTest(fault=fault.name):
                row = crash.row_of("dbgsym", fault, 8_900_000, kept)
                self.assertEqual((row.named, row.frames), (named, 3))
                self.assertIn(said, row.line())
                self.assertIn(" 8900000 ", row.line())
        bare = coredump.parse_info(INFO.replace(
            "_ZN10vantor_host12_GLOBAL__N_116WriteThroughNullEPii", "n/a"))
        row = crash.row_of("shipped", crash.FAULTS[0], 0,
                           coredump.Kept(812, 3.0, None, bare, "", {}, 1, 2))
        self.assertEqual((row.named, row.culprit), (0, []))
        self.assertTrue(row.line().endswith(" no"))


class SymbolizedTest(unittest.TestCase):
    def test_culprit_line(self):
        cases = [
            (SYMBOLIZED, 3, 39, "Thread 1 (LWP 815):"),
            # Named from the dynamic symbols, but no line: not enough.
            (SYMBOLIZED.replace(
                " at ./host/debug/fault_switches.cc:39",
                " from /usr/lib/arm-linux-gnueabihf/libvantor.so"),
             3, None, ""),
            ("symbolize: no thread\n", 0, None, ""),
        ]
        for text, threads, line, heading in cases:
            with self.subTest(line=line, threads=threads):
                found = crash.parse_symbolized(text)
                self.assertEqual((found.threads, found.line, found.thread),
                                 (threads, line, heading))


class WordsTest(unittest.TestCase):
    def test_recovery(self):
        line = ("vantor-sample.service is down: a crash loop (it failed too "
                "often to be restarted); starting it again in {} s "
                "(recovery {} within the hour)")
        cases = [
            (line.format(30, 1), crash.Recovery(30, 1)),
            # The last of several recoveries counts.
            (line.format(30, 1) + "\n" + line.format(60, 2),
             crash.Recovery(60, 2)),
            ("vantor-sample.service is down: it failed (exit-code) and is "
             "not restarted by itself; starting it again in 30 s "
             "(recovery 1 within the hour)", None),
        ]
        for text, recovery in cases:
            with self.subTest(text=text[-40:]):
                self.assertEqual(crash.parse_recovery(text), recovery)

    def test_status(self):
        cases = [
            ("advertised as 'Kitchen'; microphone muted; 3 interactions",
             crash.Status("Kitchen", "advertised as 'Kitchen'", "muted", 3)),
            ("not advertised: the mDNS daemon went away; registering again "
             "when it is back; microphone on; 1 interaction",
             crash.Status(None, "not advertised: the mDNS daemon went away; "
                          "registering again when it is back", "on", 1)),
            # A name may hold the separator.
            ("advertised as 'A; B'; microphone on; 0 interactions",
             crash.Status("A; B", "advertised as 'A; B'", "on", 0)),
            ("not advertised yet; microphone not known yet; 0 interactions",
             crash.Status(None, "not advertised yet", "not known yet", 0)),
            ("", crash.Status(None, "", "", None)),
        ]
        for line, status in cases:
            with self.subTest(line=line):
                self.assertEqual(crash.parse_status(line), status)

    def test_changes(self):
        text = ("0\tadvertised as 'K'; microphone on; 0 interactions\n"
                "412\tnot advertised: the mDNS daemon went away\n"
                "noise\n2210\tadvertised as 'K'; microphone on; "
                "0 interactions\n")
        self.assertEqual([ms for ms, _ in crash.parse_changes(text)],
                         [0, 412, 2210])


class StatusAcrossTest(unittest.TestCase):
    """files/status-across.sh against a systemctl that reads a file."""

    def across(self, until: str, limit_s: int, *steps: str
               ) -> tuple[int, list[str]]:
        with tempfile.TemporaryDirectory() as folder:
            state = Path(folder) / "status"
            state.write_text("A\n")
            fake = Path(folder) / "systemctl"
            fake.write_text(f"#!/bin/sh\ncat {state}\n")
            fake.chmod(0o755)
            change = "; ".join(f"sleep 0.4; echo {s} >{state}"
                               for s in steps)
            done = subprocess.run(
                ["bash", str(FILES / "status-across.sh"), "unit",
                 str(limit_s), until, "sh", "-c", change or "true"],
                capture_output=True, text=True, timeout=30,
                env=dict(os.environ, PATH=f"{folder}:{os.environ['PATH']}"))
        return done.returncode, [s for _, s in
                                 crash.parse_changes(done.stdout)]

    def test_changes(self):
        cases = [
            # (until, limit, the command's steps, exit, lines seen)
            ("^C", 10, ("B", "C", "D"), 0, ["A", "B", "C"]),
            # The line before the command is no match, however it reads.
            ("^A", 2, ("B",), 1, ["A", "B"]),
            ("^Z", 1, (), 1, ["A"]),
        ]
        for until, limit, steps, status, seen in cases:
            with self.subTest(until=until, steps=steps):
                self.assertEqual(self.across(until, limit, *steps),
                                 (status, seen))


if __name__ == "__main__":
    unittest.main()
