# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""DIR/.apt-repo: the lock that lets one run at a time change DIR, and the
note of a throwaway key's folder, which a killed run leaves to the next."""

from __future__ import annotations

import fcntl
import os
from pathlib import Path
from types import TracebackType
from typing import IO

from .common import Failure
from .files import write_atomic

FOLDER = ".apt-repo"


class Workarea:
    def __init__(self, repo: Path) -> None:
        self.repo = repo
        self.folder = repo / FOLDER
        self._home_note = self.folder / "throwaway-gnupg"
        self._lock: IO[str] | None = None

    def __enter__(self) -> Workarea:
        self.folder.mkdir(exist_ok=True)
        # Python's files are close-on-exec: a gpg-agent started by this run
        # does not hold the lock after it.
        lock = open(self.folder / "lock", "a+")
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            lock.seek(0)
            holder = lock.read().strip() or "unknown"
            lock.close()
            raise Failure(f"{self.repo} is being changed by another run "
                          f"(pid {holder}); try again when it has ended")
        lock.truncate(0)
        lock.write(f"{os.getpid()}\n")
        lock.flush()
        self._lock = lock
        return self

    def __exit__(self, kind: type[BaseException] | None,
                 error: BaseException | None,
                 trace: TracebackType | None) -> None:
        if self._lock:
            self._lock.close()
            self._lock = None

    def note_home(self, home: Path) -> None:
        write_atomic(self._home_note, os.fsencode(home) + b"\n")

    def noted_home(self) -> Path | None:
        try:
            noted = self._home_note.read_bytes().rstrip(b"\n")
            return Path(os.fsdecode(noted))
        except FileNotFoundError:
            return None

    def forget_home(self) -> None:
        self._home_note.unlink(missing_ok=True)
