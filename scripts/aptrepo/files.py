# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Writes that readers see whole or not at all, and that a power cut does
not undo once done."""

from __future__ import annotations

import os
import shutil
import tempfile
from pathlib import Path

# Names of files being written; a killed run's are removed by the next.
TEMP_PREFIX = ".apt-repo-tmp."


def fsync_dir(folder: Path) -> None:
    fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    try:
        os.fsync(fd)
    finally:
        os.close(fd)


def sync_tree(root: Path) -> None:
    """Every file and folder under root on disk."""
    for folder, _, names in os.walk(root, topdown=False):
        for name in names:
            fd = os.open(os.path.join(folder, name), os.O_RDONLY)
            try:
                os.fsync(fd)
            finally:
                os.close(fd)
        fsync_dir(Path(folder))


def _new_file_mode() -> int:
    umask = os.umask(0)
    os.umask(umask)
    return 0o666 & ~umask


def write_atomic(path: Path, data: bytes) -> None:
    """Replaces path's contents with data in one rename."""
    fd, name = tempfile.mkstemp(dir=path.parent,
                                prefix=f"{TEMP_PREFIX}{path.name}.")
    try:
        with os.fdopen(fd, "wb") as out:
            out.write(data)
            out.flush()
            # mkstemp's 0600 would keep the keyring from a web server.
            os.fchmod(out.fileno(), _new_file_mode())
            os.fsync(out.fileno())
        os.replace(name, path)
    except BaseException:
        Path(name).unlink(missing_ok=True)
        raise
    fsync_dir(path.parent)


def add_new(source: Path, path: Path) -> None:
    """Copies source to path, which must not exist: a hard link from a
    finished temporary never replaces a file, and the name appears whole."""
    fd, name = tempfile.mkstemp(dir=path.parent,
                                prefix=f"{TEMP_PREFIX}{path.name}.")
    try:
        with os.fdopen(fd, "wb") as out, open(source, "rb") as src:
            shutil.copyfileobj(src, out)
            out.flush()
            os.fsync(out.fileno())
        shutil.copystat(source, name)  # As cp -p: the build's times.
        os.link(name, path)
    finally:
        Path(name).unlink(missing_ok=True)
    fsync_dir(path.parent)


def remove(path: Path) -> None:
    """A file, a link or a whole folder, as it is."""
    if path.is_dir() and not path.is_symlink():
        shutil.rmtree(path)
    else:
        path.unlink(missing_ok=True)


def remove_temporaries(folder: Path) -> None:
    for leftover in folder.glob(f"{TEMP_PREFIX}*"):
        remove(leftover)
