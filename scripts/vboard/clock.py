# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Time on this side: a stopwatch, and the one way to wait for something."""

from __future__ import annotations

import time
from typing import Callable, TypeVar

T = TypeVar("T")


class Stopwatch:
    def __init__(self) -> None:
        self.start = time.monotonic()

    def seconds(self) -> float:
        return time.monotonic() - self.start

    def __str__(self) -> str:
        return f"{self.seconds():.1f}"


def wait_until(probe: Callable[[], T], limit_s: float, pause_s: float = 1,
               done: Callable[[T], bool] = bool) -> T:
    """Asks probe, pause_s apart, until done(answer) or until limit_s have
    passed when an answer comes; returns the last answer. It is always asked
    once, so a limit of 0 is one look rather than none, and a slow probe
    begun within the limit still counts."""
    clock = Stopwatch()
    while True:
        answer = probe()
        if done(answer) or clock.seconds() >= limit_s:
            return answer
        time.sleep(pause_s)
