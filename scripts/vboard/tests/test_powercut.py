# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import contextlib
import io
import time
import unittest

from vboard.powercut import Options, PowerCuts, Writer, timed_writes
from vboard.results import Report, Status

from .localboard import LocalBoard

# A stand-in for vantor-state: keeps each word in FOLDER/WHAT, and fails
# for the word BAD.
FAKE_TOOL = """#!/bin/sh
[ "$4" = BAD ] && { echo "no such word" >&2; exit 1; }
printf '%s\\n' "$4" > "{folder}/$3"
"""


class WriterTest(unittest.TestCase):
    def setUp(self):
        self.board = LocalBoard()
        self.tool = self.board.folder / "fake-state"
        self.tool.write_text(FAKE_TOOL.replace("{folder}",
                                               str(self.board.folder)))
        self.tool.chmod(0o755)

    def tearDown(self):
        self.board.close()

    def test_acknowledged_word_is_the_one_written(self):
        writer = Writer(self.board, "network", str(self.tool))
        deadline = time.monotonic() + 10
        while writer.writes < 5 and time.monotonic() < deadline:
            time.sleep(0.01)
        self.assertTrue(writer.quiesce(10))
        writer.finish(10)
        self.assertGreaterEqual(writer.writes, 5)
        self.assertEqual(writer.failures, [])
        self.assertIsNone(writer.under_way)
        on_disk = (self.board.folder / "network").read_text().strip()
        self.assertEqual(writer.acknowledged, on_disk)

    def test_failed_write_is_not_acknowledged(self):
        writer = Writer(self.board, "mic", str(self.tool))
        writer.words = ["on", "BAD"]
        deadline = time.monotonic() + 10
        while len(writer.failures) < 2 and time.monotonic() < deadline:
            time.sleep(0.01)
        writer.quiesce(10)
        writer.finish(10)
        self.assertEqual(writer.failures[0], "fail BAD no such word")
        self.assertEqual(writer.acknowledged, "on")


class AfterBootTest(unittest.TestCase):
    """The verdict on the state files after a cut."""

    def verdict(self, files, expected, in_memory):
        board = LocalBoard()
        report = Report()
        paths = {"mic": str(board.folder / "mic_state"),
                 "network": str(board.folder / "network_state")}
        try:
            for name, text in files.items():
                (board.folder / name).write_text(text)
            with contextlib.redirect_stdout(io.StringIO()):
                lost = PowerCuts(board, report, Options()).check_after_boot(
                    7, expected, paths, in_memory)
        finally:
            board.close()
        failed = sorted(report.failed_names())
        self.assertEqual(report.count(Status.PASS) + len(failed), 4)
        return lost, failed

    def test_cases(self):
        acknowledged = {"mic": {"on"}, "network": {"CONNECTED"}}
        disk_and_memory = {"mic": False, "network": True}
        cases = [
            # (files, expected words, in memory, lost, failed checks)
            ({"mic_state": "on\n"}, acknowledged, disk_and_memory, 0, []),
            # An acknowledged word or the one under way at the cut.
            ({"mic_state": "off\n"}, {"mic": {"on", "off"},
                                      "network": set()},
             disk_and_memory, 0, []),
            # An older word than acknowledged: a lost write.
            ({"mic_state": "off\n"}, acknowledged, disk_and_memory, 1,
             ["powercut-7-mic"]),
            # Torn or gone on disk is a failure but no lost word.
            ({"mic_state": "o"}, acknowledged, disk_and_memory, 0,
             ["powercut-7-mic"]),
            ({}, acknowledged, disk_and_memory, 0, ["powercut-7-mic"]),
            # In memory: gone, or a whole word of any age.
            ({"mic_state": "on\n", "network_state": "CONNECTING\n"},
             acknowledged, disk_and_memory, 0, []),
            ({"mic_state": "on\n", "network_state": "CONNEC"},
             acknowledged, disk_and_memory, 0, ["powercut-7-network"]),
            # One temporary per file may be left, not two.
            ({"mic_state": "on\n", "mic_state.tmp.1": ""}, acknowledged,
             disk_and_memory, 0, []),
            ({"mic_state": "on\n", "mic_state.tmp.1": "",
              "mic_state.tmp.2": ""}, acknowledged, disk_and_memory, 0,
             ["powercut-7-mic-temporaries"]),
            # Both on disk.
            ({"mic_state": "on\n", "network_state": "CONNECTING\n"},
             acknowledged, {"mic": False, "network": False}, 1,
             ["powercut-7-network"]),
        ]
        for files, expected, in_memory, lost, failed in cases:
            with self.subTest(files=files, expected=expected):
                self.assertEqual(self.verdict(files, expected, in_memory),
                                 (lost, failed))


class WriteLatencyTest(unittest.TestCase):
    def test_turns(self):
        board = LocalBoard()
        try:
            out = board.script("write-latency.sh", "6", "c.json", "true",
                               "/bin/true").stdout
        finally:
            board.close()
        self.assertEqual(len(timed_writes(out, "true")), 6)
        self.assertEqual(len(timed_writes(out, "/bin/true")), 6)
        self.assertTrue(all(ms >= 0 for ms in timed_writes(out, "true")))
        self.assertEqual(timed_writes("true 1500\ntrue x\nfalse 10\n", "true"),
                         [1.5])


if __name__ == "__main__":
    unittest.main()
