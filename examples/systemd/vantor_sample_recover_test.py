#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""vantor-sample-recover with systemctl, date and sleep faked on PATH: the
back-off from its past recoveries, what it says, and that it starts only a
unit still failed."""

import os
import subprocess
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parent / "vantor-sample-recover"
NOW = 1_800_000_000

FAKES = {
    # Records its calls; `is-failed` answers with the lines of $FAILED in
    # turn (the last one again and again), `show -P NAME` prints $NAME.
    "systemctl": """#!/bin/sh
echo "$*" >>"$CALLS"
case $1 in
  is-failed)
    answer=$(head -n 1 "$FAILED")
    rest=$(tail -n +2 "$FAILED")
    [ -z "$rest" ] || printf '%s\\n' "$rest" >"$FAILED"
    [ "$answer" = yes ] ;;
  show) printenv "$3" || echo ;;
esac
""",
    "date": f"#!/bin/sh\necho {NOW}\n",
    "sleep": '#!/bin/sh\necho "sleep $1" >>"$CALLS"\n',
}


class RecoverTest(unittest.TestCase):
    def run_script(self, past: list[int],
                   failed: tuple[str, ...] = ("yes",),
                   monitor_result: str | None = "start-limit-hit",
                   junk: str = "", restarts: str = "2"
                   ) -> tuple[str, list[str], list[str]]:
        """Its output, the fakes' calls and the recovery times it kept."""
        with tempfile.TemporaryDirectory() as scratch:
            root = Path(scratch)
            fakes = root / "bin"
            fakes.mkdir()
            for name, text in FAKES.items():
                (fakes / name).write_text(text)
                (fakes / name).chmod(0o755)
            (root / "failed").write_text("\n".join(failed) + "\n")
            runtime = root / "run"
            runtime.mkdir()
            if past or junk:
                (runtime / "rounds").write_text(
                    junk + "".join(f"{NOW - ago}\n" for ago in past))
            env = {"PATH": f"{fakes}:{os.environ['PATH']}",
                   "RUNTIME_DIRECTORY": str(runtime),
                   "CALLS": str(root / "calls"),
                   "FAILED": str(root / "failed"),
                   "Result": "watchdog", "NRestarts": restarts,
                   "StartLimitBurst": "5"}
            if monitor_result is not None:
                env["MONITOR_SERVICE_RESULT"] = monitor_result
            done = subprocess.run(["sh", str(SCRIPT)], env=env, text=True,
                                  capture_output=True, timeout=30)
            self.assertEqual(0, done.returncode, done.stderr)
            calls = (root / "calls").read_text().splitlines()
            kept = (runtime / "rounds").read_text().split()
            return done.stdout, calls, kept

    def test_back_off_grows_with_recent_recoveries(self):
        # Seconds ago of earlier recoveries -> the wait now.
        table = [
            ([], 30),
            ([600], 60),
            ([600, 300], 120),
            ([900, 600, 300], 240),
            ([1500, 1200, 900, 600, 300], 240),
            # An hour or more ago does not count.
            ([3600, 7200], 30),
            ([3599], 60),
        ]
        for past, wait in table:
            with self.subTest(past=past):
                out, calls, kept = self.run_script(past)
                self.assertIn(f"sleep {wait}", calls)
                self.assertIn(f"starting it again in {wait} s", out)
                recent = [a for a in past if a < 3600]
                self.assertEqual(sorted(NOW - a for a in recent) + [NOW],
                                 [int(t) for t in kept])

    def test_says_why_and_starts_only_a_unit_still_failed(self):
        cases = [
            # (MONITOR_SERVICE_RESULT, failed at the start and after the
            #  wait, words, systemctl calls after the second is-failed)
            ("start-limit-hit", ("yes",), "a crash loop",
             ["reset-failed vantor-sample.service",
              "start --no-block vantor-sample.service"]),
            (None, ("yes",), "it failed (watchdog)",
             ["reset-failed vantor-sample.service",
              "start --no-block vantor-sample.service"]),
            ("start-limit-hit", ("yes", "no"), "no longer failed", []),
        ]
        for result, failed, words, after in cases:
            with self.subTest(result=result, failed=failed):
                out, calls, _ = self.run_script([], failed, result)
                self.assertIn(words, out)
                # The check after the wait, not the one before it.
                checked = len(calls) - 1 - calls[::-1].index(
                    "is-failed --quiet vantor-sample.service")
                self.assertLess(calls.index("sleep 30"), checked)
                self.assertEqual(after, calls[checked + 1:])

    def test_a_loop_is_named_by_its_restarts_too(self):
        # systemd keeps the last failure's result when the start limit
        # refuses an automatic restart; NRestarts against StartLimitBurst
        # tells.
        cases = [
            ("core-dump", "6", "a crash loop"),
            ("watchdog", "5", "a crash loop"),
            ("core-dump", "4", "it failed (core-dump)"),
            ("exit-code", "0", "it failed (exit-code)"),
            # What systemctl may say of a unit it does not know.
            ("core-dump", "", "it failed (core-dump)"),
            ("core-dump", "[not set]", "it failed (core-dump)"),
        ]
        for result, restarts, words in cases:
            with self.subTest(result=result, restarts=restarts):
                out, _, _ = self.run_script([], ("yes",), result,
                                            restarts=restarts)
                self.assertIn(words, out)

    def test_a_failure_systemd_restarts_is_left_alone(self):
        # Not failed when it starts: systemd is restarting the unit, and
        # no wait is spent or recorded.
        out, calls, kept = self.run_script([600], failed=("no",))
        self.assertEqual("", out)
        self.assertEqual(["is-failed --quiet vantor-sample.service"], calls)
        self.assertEqual([NOW - 600], [int(t) for t in kept])

    def test_a_damaged_record_counts_only_its_times(self):
        # A power cut mid-write or a hand edit: the lines that are no time
        # are dropped, not taken as recoveries nor fatal.
        out, calls, kept = self.run_script([600], junk="\n17x\n-5\nabc\n")
        self.assertIn("sleep 60", calls)
        self.assertEqual([NOW - 600, NOW], [int(t) for t in kept])


if __name__ == "__main__":
    unittest.main()
