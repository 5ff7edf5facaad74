# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import contextlib
import io
import re
import tempfile
import unittest
from pathlib import Path

from vboard.results import (Report, Result, Status, percentile,
                            with_row)


class PercentileTest(unittest.TestCase):
    def test_nearest_rank(self):
        forty = [float(n) for n in range(40, 0, -1)]  # Unsorted on purpose.
        cases = [
            (forty, 50, 20.0),  # The lower median of an even count.
            (forty, 99, 40.0),
            (forty, 90, 36.0),
            (forty[1:], 50, 20.0),  # The 20th of 39.
            ([5.0], 50, 5.0),
            ([5.0], 99, 5.0),
            ([3.0, 1.0], 50, 1.0),
            ([3.0, 1.0], 51, 3.0),
            ([2.0, 9.0, 4.0], 0, 2.0),
            ([2.0, 9.0, 4.0], 100, 9.0),
        ]
        for values, p, expected in cases:
            with self.subTest(n=len(values), p=p):
                self.assertEqual(percentile(values, p), expected)

    def test_no_values(self):
        with self.assertRaises(ValueError):
            percentile([], 50)


class ReportTest(unittest.TestCase):
    """The lines CI and ctest's log readers look for."""

    def test_lines(self):
        report = Report()
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            report.add(Result("mic-off", Status.PASS, "1 line(s): x", 2.04))
            report.add(Result("withdrawn", Status.FAIL, "still listed", None,
                              "look 3 took 20 s"))
            report.skip("network-synonym", "not here")
            report.figure("rss_kib", 5296, "KiB", "resident memory")
            passed = report.summary()
        self.assertFalse(passed)
        self.assertEqual(out.getvalue().splitlines(), [
            "board: PASS     mic-off (2.0 s): 1 line(s): x",
            "board: FAIL     withdrawn: still listed",
            "board:          last look: look 3 took 20 s",
            "board: SKIP     network-synonym: not here",
            "board: figure   rss_kib                            5296 KiB   "
            "resident memory",
            "board: 1 passed, 1 failed, 1 skipped",
            "board: failed: withdrawn",
        ])
        closing = out.getvalue().splitlines()[-2]
        self.assertRegex(closing,
                         r"^\w+: \d+ passed, \d+ failed(, \d+ skipped)?$")
        self.assertEqual(report.figures, [("rss_kib", "5296")])

    def test_all_passed(self):
        report = Report()
        with contextlib.redirect_stdout(io.StringIO()) as out:
            report.check("stop", True, "status 0")
            self.assertTrue(report.summary())
        self.assertNotIn("failed:", out.getvalue())
        self.assertTrue(re.search(r"^board: 1 passed, 0 failed, 0 skipped$",
                                  out.getvalue(), re.MULTILINE))

    def test_figures_files(self):
        with tempfile.TemporaryDirectory() as folder, \
                contextlib.redirect_stdout(io.StringIO()), \
                contextlib.redirect_stderr(io.StringIO()):
            folder = Path(folder)
            for run in range(2):
                report = Report()
                report.phase("checks", 12.34)
                report.figure("rss_kib", 5296 + run, "KiB", "memory")
                report.write_figures(folder, "test", folder)
            figures = (folder / "figures.txt").read_text().splitlines()
            rows = [line.split("\t") for line in
                    (folder / "bench-rows.tsv").read_text().splitlines()]
        self.assertRegex(figures[0], r"^# scripts/board test, \d{4}-")
        self.assertEqual(figures[1:], ["phase_checks=12.3", "rss_kib=5297"])
        # One header, then a row per run under it.
        self.assertEqual(rows[0],
                         ["date", "commit", "phase_checks", "rss_kib"])
        self.assertEqual([row[2:] for row in rows[1:]],
                         [["12.3", "5296"], ["12.3", "5297"]])


class BenchRowsTest(unittest.TestCase):
    """bench-rows.tsv: every value under its own name, whichever figures
    each run had."""

    def test_with_row(self):
        cases = [
            ("", {"date": "d1", "a": "1"}, "date\ta\nd1\t1\n"),
            ("date\ta\nd1\t1\n", {"date": "d2", "a": "2"},
             "date\ta\nd1\t1\nd2\t2\n"),
            # A new figure is a new column, empty before; a missing one is
            # empty in this row.
            ("date\ta\nd1\t1\n", {"date": "d2", "b": "2"},
             "date\ta\tb\nd1\t1\t\nd2\t\t2\n"),
            ("date\ta\tb\nd1\t1\t2\n", {"date": "d2", "b": "3", "a": "4"},
             "date\ta\tb\nd1\t1\t2\nd2\t4\t3\n"),
        ]
        for tsv, row, expected in cases:
            with self.subTest(tsv=tsv, row=row):
                self.assertEqual(with_row(tsv, row), expected)

    def run_with(self, folder, figures):
        report = Report()
        for key, value in figures:
            report.figure(key, value, "", "")
        report.write_figures(folder, "test", folder)
        lines = (folder / "bench-rows.tsv").read_text().splitlines()
        header = lines[0].split("\t")
        return [dict(zip(header, line.split("\t"))) for line in lines[1:]]

    def test_runs_with_other_figures(self):
        with tempfile.TemporaryDirectory() as folder, \
                contextlib.redirect_stdout(io.StringIO()), \
                contextlib.redirect_stderr(io.StringIO()):
            folder = Path(folder)
            self.run_with(folder, [("rss_kib", 5296), ("threads", 9)])
            rows = self.run_with(folder, [("soak_rss_kib", "1..2"),
                                          ("threads", 8)])
            self.assertEqual([(r["rss_kib"], r["threads"], r["soak_rss_kib"])
                              for r in rows],
                             [("5296", "9", ""), ("", "8", "1..2")])
            # A file whose rows outgrew its header is kept aside.
            (folder / "bench-rows.tsv").write_text("date\ta\nd\t1\t2\n")
            self.assertEqual(len(self.run_with(folder, [("a", 3)])), 1)
            [aside] = folder.glob("bench-rows-*.tsv")
            self.assertEqual(aside.read_text(), "date\ta\nd\t1\t2\n")


if __name__ == "__main__":
    unittest.main()
