# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The errors that end a run."""

from __future__ import annotations

EXIT_USAGE = 2


class Failure(Exception):
    """Ends the run with exit status 1."""


class Usage(Exception):
    """Ends the run with exit status 2: the message, or the usage text."""
