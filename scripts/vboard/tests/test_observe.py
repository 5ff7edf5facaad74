# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import subprocess
import unittest
from unittest import mock

from vboard import observe, parse

ENTRY = parse.Expected(name="Vantor Device", type="_vantor._tcp", port=8009,
                       host="vantor-board.local", address="169.254.77.2")
LISTED = "+;eth0;IPv4;Vantor\\032Device;_vantor._tcp;local\n"
RESOLVED = ("=;eth0;IPv4;Vantor\\032Device;_vantor._tcp;local;"
            "vantor-board.local;169.254.77.2;8009;\n")


class LookingBoard:
    """A board whose avahi-browse prints the given looks in turn, the last
    one again and again."""

    def __init__(self, looks):
        self.looks = looks
        self.asked = 0

    def ssh(self, argv, **kwargs):
        self.asked += 1
        out = self.looks[min(self.asked, len(self.looks)) - 1]
        return subprocess.CompletedProcess(argv, 0, out, "")


class AdvertisementTest(unittest.TestCase):
    def looks(self, wait, looks, limit_s):
        board = LookingBoard(looks)
        with mock.patch("time.sleep"):
            outcome = wait(board, ENTRY, limit_s)
        return outcome.ok, board.asked

    def test_withdrawal_needs_two_looks_in_a_row(self):
        cases = [
            # (looks, limit s, withdrawn, looks taken)
            ([LISTED, "", "", LISTED], 60, True, 3),
            # One empty look between two listed ones is no withdrawal.
            ([LISTED, "", LISTED, "", ""], 60, True, 5),
            # Past the limit after a listed look; an empty look within it
            # is confirmed by the next one, or not.
            ([RESOLVED], 0, False, 1),
            (["", ""], 0, True, 2),
            (["", LISTED, ""], 0, False, 2),
        ]
        for looks, limit_s, withdrawn, taken in cases:
            with self.subTest(looks=looks, limit_s=limit_s):
                self.assertEqual(
                    self.looks(observe.board_stops_listing, looks, limit_s),
                    (withdrawn, taken))

    def test_seen_once_resolved(self):
        cases = [
            ([LISTED, LISTED, RESOLVED], 60, True, 3),
            # Listed is not resolved.
            ([LISTED], 0, False, 1),
            ([RESOLVED], 0, True, 1),
        ]
        for looks, limit_s, seen, taken in cases:
            with self.subTest(looks=looks, limit_s=limit_s):
                self.assertEqual(
                    self.looks(observe.board_sees, looks, limit_s),
                    (seen, taken))


if __name__ == "__main__":
    unittest.main()
