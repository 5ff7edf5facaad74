# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""What the modules share: the error that ends a command, the one way to run
a program here, and where messages go."""

from __future__ import annotations

import dataclasses
import os
import shlex
import subprocess
import sys
from pathlib import Path
from typing import IO, Mapping, Protocol, Sequence, Union

# A program's own argument list: paths are passed as they are.
Argv = Sequence[Union[str, Path]]
Stream = Union[int, IO[bytes], None]


class Failure(Exception):
    """Ends the command with status: its message on standard error, unless
    the message is empty because what failed has said why already."""

    def __init__(self, message: str = "", status: int = 1) -> None:
        super().__init__(message)
        self.status = status


@dataclasses.dataclass(frozen=True)
class Result:
    status: int
    output: str


class Runner(Protocol):
    """capture()'s signature, so that a test can answer for the programs."""

    def __call__(self, argv: Argv, *, timeout: float, stderr: str = "merge",
                 env: Mapping[str, str] | None = None) -> Result: ...


def _text(data: bytes | str | None) -> str:
    if isinstance(data, bytes):
        return data.decode(errors="replace")
    return data or ""


def capture(argv: Argv, *, timeout: float, stderr: str = "merge",
            env: Mapping[str, str] | None = None) -> Result:
    """Runs argv and returns its status and standard output; standard error
    joins it ("merge"), is dropped ("drop") or passes to ours ("pass"). A
    program still running after timeout is killed and fails with 124, as
    under timeout(1), its output so far kept."""
    errors: Stream = {"merge": subprocess.STDOUT, "drop": subprocess.DEVNULL,
                      "pass": None}[stderr]
    args = [str(a) for a in argv]
    try:
        done = subprocess.run(args, stdout=subprocess.PIPE, stderr=errors,
                              stdin=subprocess.DEVNULL, timeout=timeout,
                              env=None if env is None else dict(env))
    except subprocess.TimeoutExpired as e:
        return Result(124, _text(e.output) +
                      f"\n{shlex.join(args)}: no end within {timeout:g} s\n")
    return Result(done.returncode, _text(done.stdout))


def run(argv: Argv, *, timeout: float, check: bool = True,
        stdout: Stream = None, stderr: Stream = None,
        env: Mapping[str, str] | None = None) -> int:
    """Runs argv with our standard output and error unless redirected, and
    returns its status. With check, a failure ends the command with the
    program's status, as `set -e` would; so does a program still running
    after timeout (killed), with 124."""
    args = [str(a) for a in argv]
    sys.stdout.flush()
    try:
        status = subprocess.run(args, stdout=stdout, stderr=stderr,
                                timeout=timeout,
                                env=None if env is None else dict(env)
                                ).returncode
    except subprocess.TimeoutExpired as e:
        raise Failure(f"{shlex.join(args)}: no end within {timeout:g} s",
                      124) from e
    if check and status != 0:
        raise Failure(f"{shlex.join(args)}: exit {status}", status)
    return status


def output(argv: Argv, *, timeout: float, stderr: str = "pass") -> str:
    """Standard output of argv, its last newlines dropped as by $(...); a
    failure ends the command."""
    result = capture(argv, timeout=timeout, stderr=stderr)
    if result.status != 0:
        raise Failure(f"{shlex.join(str(a) for a in argv)}: exit "
                      f"{result.status}", result.status)
    return result.output.rstrip("\n")


def say(message: str) -> None:
    """A line on standard error, after what standard output holds."""
    sys.stdout.flush()
    print(message, file=sys.stderr, flush=True)


def show(text: str) -> None:
    """A program's captured output on standard error, as it printed it."""
    sys.stdout.flush()
    sys.stderr.write(text)
    sys.stderr.flush()


def tell(message: str) -> None:
    print(message, flush=True)


def noninteractive() -> dict[str, str]:
    """Our environment, with apt and dpkg asking no questions."""
    return dict(os.environ, DEBIAN_FRONTEND="noninteractive")


def without_prefix(path: Path | str, folder: Path | str) -> str:
    """path relative to folder when inside it (${path#"$folder"/})."""
    text, prefix = str(path), f"{folder}/"
    return text[len(prefix):] if text.startswith(prefix) else text


DAY_S = 24 * 60 * 60


def stale(path: Path, now: float, max_days: int) -> bool:
    """No file, or one older than max_days whole days (find -mtime)."""
    if not path.is_file():
        return True
    return (now - path.lstat().st_mtime) // DAY_S > max_days


def visible(folder: Path, pattern: str) -> list[Path]:
    """What the shell's glob (or ls) finds in folder: no hidden files."""
    return sorted(p for p in folder.glob(pattern)
                  if not p.name.startswith("."))
