# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The one way to run a program here: an argv list, the exit status checked
unless the caller says otherwise, and a time limit on every child. A child
that runs beside the harness (the link's namespaces, a load, a writer) is
started here too and ended with wait() or stop(), which always reap it."""

from __future__ import annotations

import os
import shlex
import signal
import subprocess
from typing import Any

from .common import BoardError
from .limits import END_GRACE_S, RUN_LIMIT_S


def _tail(result: subprocess.CompletedProcess[str]) -> str:
    """What the program said last, for a failure's message."""
    said = result.stderr if isinstance(result.stderr, str) else ""
    if not said.strip() and isinstance(result.stdout, str):
        said = result.stdout
    return said.strip()[-300:]


def run(argv: list[str], *, check: bool = True,
        timeout: float | None = RUN_LIMIT_S, capture: bool = False,
        what: str | None = None, error: type[BoardError] = BoardError,
        **kwargs: Any) -> subprocess.CompletedProcess[str]:
    """Runs argv to its end; text in and out. capture=True returns standard
    output and error. A non-zero exit raises error unless check=False, and so
    does a program that cannot start or does not end within timeout s (it is
    killed). what names the command in those messages. timeout=None is for
    the user's own session only."""
    what = what or shlex.join(argv)
    if capture:
        kwargs.setdefault("stdout", subprocess.PIPE)
        kwargs.setdefault("stderr", subprocess.PIPE)
    try:
        result = subprocess.run(argv, timeout=timeout, text=True, **kwargs)
    except subprocess.TimeoutExpired as e:
        raise error(f"{what}: no end within {timeout} s") from e
    except OSError as e:
        raise error(f"{what}: cannot run: {e.strerror}") from e
    if check and result.returncode != 0:
        why = _tail(result)
        raise error(f"{what}: exit {result.returncode}"
                    + (f": {why}" if why else ""))
    return result


def output(argv: list[str], **kwargs: Any) -> str:
    """Standard output of argv, stripped."""
    return run(argv, capture=True, **kwargs).stdout.strip()


def start(argv: list[str], **kwargs: Any) -> subprocess.Popen:
    """argv started beside the caller, who ends it with wait() or stop().
    It leads a session of its own, so that ending it ends what it started
    too (ssh under nsenter, a load's commands), and with them the pipes
    they hold."""
    try:
        return subprocess.Popen(argv, start_new_session=True, **kwargs)
    except OSError as e:
        raise BoardError(f"{shlex.join(argv)}: cannot run: {e.strerror}") \
            from e


def _signal(process: subprocess.Popen, signal_number: int) -> None:
    """Signals the process group of a process that is not reaped yet, so
    its pid cannot have gone to another group."""
    try:
        os.killpg(process.pid, signal_number)
    except ProcessLookupError:
        pass
    except PermissionError:  # One of the group is not ours to signal.
        process.send_signal(signal_number)


def wait(process: subprocess.Popen, limit_s: float) -> int | None:
    """The exit status of process once it ends within limit_s; None when it
    did not and was killed. Reaped either way."""
    try:
        return process.wait(limit_s)
    except subprocess.TimeoutExpired:
        _signal(process, signal.SIGKILL)
        process.wait()  # SIGKILL cannot be held off: no limit needed.
        return None


def stop(process: subprocess.Popen, grace_s: float = END_GRACE_S) -> None:
    """Ends process (SIGTERM, SIGKILL after grace_s), reaps it and closes
    its pipes: nothing of it is read any more."""
    if process.poll() is None:
        _signal(process, signal.SIGTERM)
    wait(process, grace_s)
    for pipe in (process.stdin, process.stdout, process.stderr):
        try:
            if pipe:
                pipe.close()
        except OSError:
            pass  # Unsent input to a process that is gone.


def collect(process: subprocess.Popen, limit_s: float) -> tuple[str, bool]:
    """Standard output of a process started with stdout=PIPE, text=True,
    and whether it ended by itself within limit_s; killed otherwise, with
    what it printed until then."""
    try:
        out, _ = process.communicate(timeout=limit_s)
        return out or "", True
    except subprocess.TimeoutExpired:
        _signal(process, signal.SIGKILL)
    try:
        out, _ = process.communicate(timeout=END_GRACE_S)
    except subprocess.TimeoutExpired:
        # Something outside its group holds the pipe: its output is lost.
        process.wait()
        out = ""
    return out or "", False
