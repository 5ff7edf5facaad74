# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Which Debian release a package was built for, as its version says, and
which one this machine runs."""

from __future__ import annotations

import re
from pathlib import Path

# A suite of another name is not checked.
DEBIAN_VERSIONS = {"bookworm": 12, "trixie": 13}
# ~debNNuM: built for release NN (the project's builds, and Debian's newer
# upstream versions for a stable release). +debNNuM: an update of release
# NN, which a later release may still carry.
_TAG = re.compile(r"([~+])deb([0-9]+)u[0-9]+")
OS_RELEASE = Path("/etc/os-release")


def built_for_problem(suite: str, version: str) -> str | None:
    """Why a package of that version has no place in suite; None when it
    has, or when the version or the suite says nothing."""
    number = DEBIAN_VERSIONS.get(suite)
    tag = _TAG.search(version)
    if number is None or tag is None:
        return None
    built = int(tag[2])
    if built == number or (tag[1] == "+" and built < number):
        return None
    return f"a build for Debian {built}, not for {suite} (Debian {number})"


def this_machine() -> str:
    """The codename of the release this machine runs, or ""."""
    try:
        text = OS_RELEASE.read_text()
    except OSError:
        return ""
    match = re.search(r"""^VERSION_CODENAME=["']?([^"'\n]*)""", text, re.M)
    return match[1] if match else ""
