# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""What every module of the board shares: its names and addresses, its
folders, the errors that end a command, and its notes."""

from __future__ import annotations

import dataclasses
import os
import sys
from pathlib import Path

from debpkg import releases

HOST_ADDRESS = "169.254.77.1"
BOARD_ADDRESS = "169.254.77.2"
TAP = "vboard0"
HOST_NAME = "vantor-board"
SERVICE = "vantor-sample"
CONFIG = "/etc/vantor/config.json"
SERVICE_TYPE = "_vantor._tcp"
# The packages' signed repository, served on the link's side (link.py).
REPO_PORT = 80
REPO_URL = f"http://{HOST_ADDRESS}/"
# Debian's packages through a cache on this machine (proxy.py), for a
# release upgrade.
PROXY_PORT = 3142
PROXY_URL = f"http://{HOST_ADDRESS}:{PROXY_PORT}/"

# ctest's SKIP_RETURN_CODE for the board test: no image can be had here.
EXIT_SKIPPED = 77
EXIT_USAGE = 2

FILES = Path(__file__).resolve().parent / "files"


class BoardError(Exception):
    """Ends the command with exit status 1."""


class Skipped(Exception):
    """Ends the command with EXIT_SKIPPED: this machine cannot have a board."""


class Usage(Exception):
    """Ends the command with the usage text and EXIT_USAGE."""


def board_suite(given: str | None) -> str:
    """The Debian release the board runs: --suite, else BOARD_SUITE, else
    the newest the packages are built for."""
    suite = given or os.environ.get("BOARD_SUITE") or releases.DEFAULT_SUITE
    if suite not in releases.RELEASES:
        raise Usage
    return suite


@dataclasses.dataclass(frozen=True)
class Paths:
    root: Path  # The source tree.
    board_dir: Path  # BOARD_DIR: cached bases, downloads, figures.
    build: Path  # The armhf build tree, for timed_renames.
    suite: str = releases.DEFAULT_SUITE  # The board's Debian release.

    @property
    def run(self) -> Path:
        """This run's disks, logs and the link's pid file."""
        return self.board_dir / "run"

    @property
    def release(self) -> releases.Release:
        return releases.release(self.suite)

    def packages(self, suite: str | None = None) -> Path:
        """Where scripts/package leaves a release's armhf packages."""
        return releases.out_folder(self.root / "build-deb",
                                   suite or self.suite, "armhf")

    @classmethod
    def from_environment(cls, build: Path | None = None,
                         suite: str | None = None) -> Paths:
        root = Path(__file__).resolve().parents[2]
        board_dir = Path(os.environ.get("BOARD_DIR") or root / "build-board")
        return cls(root=root, board_dir=board_dir.absolute(),
                   build=build or root / "build-armhf",
                   suite=board_suite(suite))


def note(message: str) -> None:
    print(f"board: {message}", file=sys.stderr, flush=True)
