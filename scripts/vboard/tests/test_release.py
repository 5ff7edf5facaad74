# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import json
import unittest
from pathlib import Path

from vboard import parse, release
from vboard.common import Paths

ADVERTISED = "Advertised Vantor Device: SUCCESS"
S = 1_000_000


def entry(seconds, pid, message="line", boot="b1"):
    return parse.JournalEntry(0, 6, message, pid, int(seconds * S), boot)


class OutageTest(unittest.TestCase):
    def test_outages(self):
        cases = [
            ("one process: no gap",
             [entry(1, 10), entry(2, 10, ADVERTISED)], []),
            ("a restart within a boot",
             [entry(1, 10, ADVERTISED), entry(5, 10),
              entry(5.5, 1, "Stopping x"), entry(6, 11),
              entry(7.5, 11, ADVERTISED)], [(5.5, 2.0, 0)]),
            ("a start cut short lies within the gap",
             [entry(1, 10, ADVERTISED), entry(2, 10), entry(3, 11),
              entry(4, 12), entry(9, 12, ADVERTISED)], [(2, 7.0, 0)]),
            # After a reboot pids come round again: the same pid of
            # another boot is another process.
            ("a reboot, the same pid again",
             [entry(1, 300, ADVERTISED), entry(10, 300),
              entry(70, 300, boot="b2"),
              entry(80, 300, ADVERTISED, boot="b2")], [(10, 70.0, 1)]),
            ("apt's restart, then the reboot",
             [entry(1, 10, ADVERTISED), entry(100, 10), entry(101, 11),
              entry(102, 11, ADVERTISED), entry(500, 11),
              entry(560, 9, boot="b2"), entry(590, 9, ADVERTISED, "b2")],
             [(100, 2.0, 0), (500, 90.0, 1)]),
            # Quiet for minutes, then stopped by apt: the gap is from
            # systemd's Stopping, not from the last line.
            ("a quiet process stopped",
             [entry(1, 10, ADVERTISED), entry(5, 10), entry(130, 1,
                                                            "Stopping x"),
              entry(130.1, 10), entry(131, 11),
              entry(132.5, 11, ADVERTISED)], [(130, 2.5, 0)]),
            ("stopped with no line of its own",
             [entry(1, 10, ADVERTISED), entry(5, 10), entry(130, 1,
                                                            "Stopping x"),
              entry(131, 11), entry(132.5, 11, ADVERTISED)],
             [(130, 2.5, 0)]),
            # Another boot's Stopping says nothing of this process.
            ("a Stopping of another boot",
             [entry(1, 10, ADVERTISED), entry(5, 10),
              entry(3, 1, "Stopping x", boot="b0"), entry(6, 11),
              entry(7.5, 11, ADVERTISED)], [(5, 2.5, 0)]),
            ("not back yet: no gap counted",
             [entry(1, 10, ADVERTISED), entry(2, 10), entry(3, 11)], []),
            # The journal's order by wall clock, whatever the input's.
            ("out of order",
             [entry(7.5, 11, ADVERTISED), entry(1, 10, ADVERTISED),
              entry(6, 11), entry(5, 10)], [(5, 2.5, 0)]),
        ]
        for name, entries, expected in cases:
            with self.subTest(name):
                self.assertEqual(
                    [(g.start_us / S, round(g.seconds, 3), g.boots)
                     for g in parse.outages(entries)], expected)

    def test_wall_clock_and_boot_are_read(self):
        text = json.dumps({"__MONOTONIC_TIMESTAMP": "5", "PRIORITY": "6",
                           "MESSAGE": "a", "_PID": "42",
                           "__REALTIME_TIMESTAMP": "2214043200000000",
                           "_BOOT_ID": "b7"})
        [read] = parse.journal_entries(text)
        self.assertEqual((read.realtime_us, read.boot),
                         (2214043200000000, "b7"))


class QuestionsTest(unittest.TestCase):
    def test_conffile_questions(self):
        cases = [
            ("Setting up avahi-daemon (0.8-16) ...\n", []),
            ("\nConfiguration file '/etc/vantor/config.json'\n"
             " ==> Modified (by you or by a script) since installation.\n"
             " ==> Package distributor has shipped an updated version.\n"
             " ==> Keeping old config file as default.\n",
             ["/etc/vantor/config.json"]),
            # ucf quotes with a backquote; a file asked twice counts once.
            ("Configuration file `/etc/ssh/sshd_config'\n"
             "Configuration file `/etc/ssh/sshd_config'\n"
             "Configuration file '/etc/a b'\n",
             ["/etc/ssh/sshd_config", "/etc/a b"]),
            ("Installing new version of config file /etc/x ...\n", []),
        ]
        for log, asked in cases:
            with self.subTest(log=log[:40]):
                self.assertEqual(parse.conffile_questions(log), asked)

    def test_unpacked(self):
        logs = ["Unpacking libc6:armhf (2.41-12) over (2.36-9) ...\n"
                "Setting up libc6:armhf (2.41-12) ...\n",
                "Preparing to unpack ...\nUnpacking vantor-device ...\n"]
        self.assertEqual(release.unpacked(logs), 2)


class ReleasesTest(unittest.TestCase):
    def test_from_to(self):
        paths = Paths(root=Path("/r"), board_dir=Path("/b"),
                      build=Path("/a"), suite="bookworm")
        now, after = release.from_to(paths)
        self.assertEqual((now.suite, after.suite), ("bookworm", "trixie"))
        with self.assertRaisesRegex(ValueError, "no release after"):
            release.from_to(Paths(root=Path("/r"), board_dir=Path("/b"),
                                  build=Path("/a"), suite="trixie"))


if __name__ == "__main__":
    unittest.main()
