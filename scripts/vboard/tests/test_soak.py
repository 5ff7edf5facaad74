# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import unittest

from vboard import soak
from vboard.results import Report


def samples(rss: list[int], every_s: float = 10) -> list[soak.Sample]:
    return [soak.Sample(i * every_s, kib, 15, 8) for i, kib in enumerate(rss)]


class SoakTest(unittest.TestCase):
    def test_slope(self):
        cases = [
            ([(0, 100), (3600, 164)], 64.0),
            ([(0, 5), (60, 5), (120, 5)], 0.0),
            # Least squares, not the ends: one late dip does not hide growth.
            ([(0, 0), (1800, 50), (3600, 100), (5400, 150), (7200, 120)],
             None),
            ([(10, 3)], 0.0),
        ]
        for points, slope in cases:
            with self.subTest(points=points):
                got = soak.slope_per_hour(points)
                if slope is None:
                    self.assertGreater(got, 40)
                else:
                    self.assertAlmostEqual(got, slope)

    def test_warmup_and_bound(self):
        run = samples(list(range(100)))  # 990 s
        after = soak.settled(run)
        self.assertEqual(after[0].seconds, 100)  # The first 10 % left out.
        self.assertEqual(soak.rss_bound_kib(after), 64)  # Under an hour.
        hours = samples([0] * 721)  # Two hours.
        self.assertAlmostEqual(soak.rss_bound_kib(hours), 128)

    def test_pauses(self):
        cases = [
            (["pause on unmuted", "pause off muted", "writes 10"], 2, 0),
            (["pause on muted"], 1, 1),
            # No report from the host at all.
            (["pause off "], 1, 1),
            (["network write failed", "writes 0"], 0, 0),
        ]
        for lines, pauses, wrong in cases:
            with self.subTest(lines=lines):
                seen, mismatched = soak.pause_mismatches(lines)
                self.assertEqual((seen, len(mismatched)), (pauses, wrong))

    def test_judge(self):
        eights = [8] * 31
        cases = [
            # Flat after a warm-up that grew: passes.
            ([5000] * 3 + [5400] * 28, eights, 0, True),
            # Growing 4 KiB a sample: 100 KiB after the warm-up.
            ([5000 + 4 * i for i in range(31)], eights, 0, False),
            # A worker seen twice on its way: no growth.
            ([5000] * 31, eights[:12] + [9] + eights[:12] + [9, 8, 8, 8, 8, 8],
             0, True),
            # A thread more for good, from the middle on.
            ([5000] * 31, eights[:16] + [9] * 15, 0, False),
            # Restarted once.
            ([5000] * 31, eights, 1, False),
        ]
        for rss, threads, restarts, ok in cases:
            with self.subTest(rss=rss[:4], threads=threads[-4:],
                              restarts=restarts):
                run = [soak.Sample(s.seconds, s.rss_kib, 15, threads[i])
                       for i, s in enumerate(samples(rss))]
                report = Report()
                soak.judge(run, ["pause on unmuted", "writes 300"], report,
                           restarts)
                self.assertEqual(not report.failed_names(), ok,
                                 report.failed_names())

    def test_parse_sample(self):
        self.assertEqual(soak.parse_sample("5128 8 17 11264\n"),
                         soak.Sample(0, 5128, 17, 8, 11264))
        self.assertEqual(soak.parse_sample("5128 8 17"),
                         soak.Sample(0, 5128, 17, 8, None))


if __name__ == "__main__":
    unittest.main()
