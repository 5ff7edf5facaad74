# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import json
import unittest

from mdnsfleet import usage

# A daemon whose title holds spaces and parentheses; utime 250, stime 50.
STAT = ("43 (avahi-daemon: running [dev1.local] (x)) S 1 42 42 0 -1 "
        "4194624 102 0 0 0 250 50 0 0 20 0 1 0 197977 7069696 709")


class CpuTest(unittest.TestCase):
    def test_ticks(self) -> None:
        self.assertEqual(usage.cpu_ticks(STAT), 300)
        self.assertEqual(usage.cpu_ticks("7 (sleep) S" + " 0" * 10
                                         + " 3 4 0 0"), 7)

    def test_per_minute(self) -> None:
        # (what, before, after, wall_s, hz, CPU s per min)
        cases = [
            ("one process, half a minute", {1: 100}, {1: 200}, 30.0, 100,
             2.0),
            ("summed", {1: 0, 2: 10}, {1: 60, 2: 70}, 60.0, 100, 1.2),
            ("started in between counts from zero", {1: 0}, {1: 0, 2: 50},
             60.0, 100, 0.5),
            ("ended in between is left out", {1: 0, 2: 500}, {1: 30},
             60.0, 100, 0.3),
            ("another tick rate", {1: 0}, {1: 250}, 60.0, 250, 1.0),
            ("idle", {1: 5}, {1: 5}, 60.0, 100, 0.0),
        ]
        for what, before, after, wall_s, hz, expected in cases:
            with self.subTest(what):
                self.assertAlmostEqual(
                    usage.cpu_s_per_min(before, after, wall_s, hz), expected)
        with self.assertRaises(ValueError):
            usage.cpu_s_per_min({}, {}, 0.0, 100)


class PacketsTest(unittest.TestCase):
    def test_captured(self) -> None:
        for err, count in [
                ("tcpdump: listening on lan, link-type EN10MB\n"
                 "1234 packets captured\n1240 packets received by filter\n"
                 "0 packets dropped by kernel\n", 1234),
                ("1 packet captured\n", 1),
                ("tcpdump: lan: No such device exists\n", None)]:
            with self.subTest(err=err):
                self.assertEqual(usage.captured(err), count)

    def test_rx_packets(self) -> None:
        def link(name: str, rx: int) -> dict:
            return {"ifname": name, "stats64": {"rx": {"packets": rx},
                                                "tx": {"packets": 1}}}

        links = [link("lo", 4), link("dev1", 120), {"ifname": "lan"}]
        self.assertEqual(usage.rx_packets(json.dumps(links)),
                         {"lo": 4, "dev1": 120})


if __name__ == "__main__":
    unittest.main()
