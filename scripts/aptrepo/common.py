# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""What the modules share: the errors that end a run, the one way to run a
program here, and the pause that lets a test stop a run at a known point."""

from __future__ import annotations

import contextlib
import os
import select
import signal
import subprocess
import sys
from typing import Any, Iterator

EXIT_USAGE = 2
PAUSE_VARIABLE = "APT_REPO_TEST_PAUSE"
PAUSE_LIMIT_S = 300


class Failure(Exception):
    """Ends the run with exit status 1."""


class Usage(Exception):
    """Ends the run with exit status 2: the message, or the usage text."""


def run(argv: list[str], *, timeout: float,
        **kwargs: Any) -> subprocess.CompletedProcess[bytes]:
    """Runs argv; a failure or no end within timeout raises Failure. The
    program's own error lines go to our standard error."""
    try:
        return subprocess.run(argv, check=True, timeout=timeout, **kwargs)
    except subprocess.CalledProcessError as e:
        raise Failure(f"{argv[0]} {argv[1]} failed "
                      f"(exit {e.returncode})") from e
    except subprocess.TimeoutExpired as e:
        raise Failure(f"{argv[0]} {argv[1]}: no end within {timeout} s") from e


@contextlib.contextmanager
def shielded() -> Iterator[None]:
    """A second Ctrl-C or SIGTERM must not cut a clean-up short."""
    wanted = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)
    before = {s: signal.signal(s, signal.SIG_IGN) for s in wanted}
    try:
        yield
    finally:
        for number, handler in before.items():
            signal.signal(number, handler)


def pause(stage: str) -> None:
    """With APT_REPO_TEST_PAUSE=STAGE, says so and waits for a line on
    standard input (or PAUSE_LIMIT_S): a test kills or resumes the run
    there."""
    if os.environ.get(PAUSE_VARIABLE) != stage:
        return
    print(f"apt-repo: paused at {stage}", file=sys.stderr, flush=True)
    ready, _, _ = select.select([sys.stdin], [], [], PAUSE_LIMIT_S)
    if ready:
        sys.stdin.readline()
