# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""A stand-in for the programs that debpkg runs: answers by the first words
of the command line, every call recorded."""

from __future__ import annotations

from pathlib import Path
from typing import Callable, Mapping, Sequence, Union

from debpkg.common import Result

Answer = Union[Result, Callable[[list[str]], Result]]


class Programs:
    def __init__(self, answers: Mapping[str, Answer]) -> None:
        # Key: the command line's words without options ("apt-get install");
        # the longest key that the line starts with answers.
        self.answers = dict(answers)
        self.calls: list[list[str]] = []

    def __call__(self, argv: Sequence[Union[str, Path]], *, timeout: float,
                 stderr: str = "merge",
                 env: Mapping[str, str] | None = None) -> Result:
        args = [str(a) for a in argv]
        self.calls.append(args)
        words = " ".join(a for a in args if not a.startswith("-")
                         and "::" not in a)
        for key in sorted(self.answers, key=len, reverse=True):
            if words.startswith(key):
                answer = self.answers[key]
                return answer(args) if callable(answer) else answer
        return Result(0, "")

    def called(self, prefix: str) -> list[list[str]]:
        return [c for c in self.calls if " ".join(c).startswith(prefix)]
