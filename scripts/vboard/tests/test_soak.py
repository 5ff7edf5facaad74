# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import contextlib
import io
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path
from unittest import mock

from vboard import runner, soak
from vboard.native_soak import proc_sample
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
        cases = [
            ("5128 8 17 11264\n", soak.Sample(0, 5128, 17, 8, 11264)),
            ("5128 8 17", soak.Sample(0, 5128, 17, 8, None)),
            ("5128 8 17 \n", soak.Sample(0, 5128, 17, 8, None)),
            # The service between two processes: nothing, or fields left
            # empty by soak-sample.sh, which must not shift the others.
            ("", None),
            ("\n", None),
            (" 8 17 11264\n", None),
            ("  0 11264\n", None),
            ("5128 8\n", None),
            ("5128 x 17 11264\n", None),
        ]
        for text, sample in cases:
            with self.subTest(text=text):
                self.assertEqual(soak.parse_sample(text), sample)


class SoakRunTest(unittest.TestCase):
    """A short soak against a stand-in target, each event every 0.1 s."""

    def soak(self, sample, load_script, minutes=0.02):
        loads = []

        def start_load(seconds):
            loads.append(runner.start(["sh", "-c", load_script],
                                      stdout=subprocess.PIPE, text=True))
            return loads[-1]

        target = soak.Target(start_load=start_load, sample=sample,
                             restart_daemon=lambda: None)
        report = Report()
        with tempfile.TemporaryDirectory() as folder, \
                mock.patch.multiple(soak, SAMPLE_EVERY_S=0.1,
                                    DAEMON_RESTART_EVERY_S=0.1,
                                    LOAD_END_LIMIT_S=0.5, WARMUP_MIN_S=0,
                                    TICK_S=0.02), \
                contextlib.redirect_stdout(io.StringIO()), \
                contextlib.redirect_stderr(io.StringIO()):
            try:
                soak.run(target, minutes, report, Path(folder), "t")
            finally:
                self.assertIsNotNone(loads[0].returncode)  # Reaped.
            rows = (Path(folder) / "soak.csv").read_text().splitlines()
        return report, rows

    def test_unreadable_samples_and_a_late_load(self):
        answers = iter([soak.Sample(0, 5000, 15, 8), None] * 50)
        report, rows = self.soak(
            lambda: next(answers),
            "echo 'pause on unmuted'; echo 'writes 9'; sleep 30")
        # Every other sample unreadable: half of them in the table.
        self.assertGreater(len(rows) - 1, 2)
        self.assertTrue(all(row.endswith(",5000,15,8,") for row in rows[1:]))
        self.assertEqual(report.failed_names(), [])
        self.assertIn("soak_mute_writes_per_s", dict(report.figures))

    def test_load_ended_on_error(self):
        def broken():
            raise RuntimeError("no ssh")

        with self.assertRaisesRegex(RuntimeError, "no ssh"):
            self.soak(broken, "sleep 30")

    @unittest.skipUnless(shutil.which("gnuplot"), "no gnuplot")
    def test_plot_title_is_data(self):
        with tempfile.TemporaryDirectory() as folder, \
                contextlib.redirect_stderr(io.StringIO()):
            folder = Path(folder)
            soak.write_csv(samples([5000, 5004, 5008]), folder / "soak.csv")
            title = "it's \"quoted\"; system('touch hacked')"
            self.assertTrue(soak.plot(folder / "soak.csv",
                                      folder / "soak.png", title))
            self.assertTrue((folder / "soak.png").read_bytes()
                            .startswith(b"\x89PNG"))
            self.assertFalse((folder / "hacked").exists()
                             or Path("hacked").exists())

    def test_native_sample(self):
        gone = runner.start(["true"])
        runner.wait(gone, 5)
        self.assertIsNone(proc_sample(gone.pid))
        mine = proc_sample(os.getpid())
        self.assertGreater(mine.rss_kib, 0)
        self.assertGreater(mine.fds, 2)


if __name__ == "__main__":
    unittest.main()
