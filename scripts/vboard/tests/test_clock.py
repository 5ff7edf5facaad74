# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import time
import unittest

from vboard.clock import wait_until


class WaitUntilTest(unittest.TestCase):
    def test_answers(self):
        cases = [
            # (answers, limit s, asked, returned)
            ([False, False, True, False], 10, 3, True),
            ([None, "up"], 10, 2, "up"),
            # Past the limit: the last answer, asked once even at 0.
            ([False, True], 0, 1, False),
            ([0, 0, 0], 0.05, None, 0),
        ]
        for answers, limit_s, asked, returned in cases:
            with self.subTest(answers=answers, limit_s=limit_s):
                calls = []

                def probe():
                    calls.append(1)
                    return answers[min(len(calls), len(answers)) - 1]

                self.assertEqual(wait_until(probe, limit_s, pause_s=0.01),
                                 returned)
                if asked is not None:
                    self.assertEqual(len(calls), asked)

    def test_done_and_slow_probe(self):
        # done decides, not the answer's truth; a probe that ends past the
        # limit still gives its answer.
        self.assertEqual(wait_until(lambda: [], 10, 0,
                                    done=lambda seen: seen == []), [])

        def slow():
            time.sleep(0.05)
            return "late"

        self.assertEqual(wait_until(slow, 0.01, 0), "late")


if __name__ == "__main__":
    unittest.main()
