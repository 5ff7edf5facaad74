# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""How long a Release may be trusted: a Valid-Until that every device can
read."""

from __future__ import annotations

import datetime
import email.utils
import re

from .common import Failure, Usage

DAY_S = 86400
# The last second a 32-bit time_t holds: a later Valid-Until wraps on such
# a device, and apt-ftparchive's own arithmetic wraps it into the past.
TIME_T_END = datetime.datetime(2038, 1, 19, 3, 14, 7,
                               tzinfo=datetime.timezone.utc)
# Between this check and apt-ftparchive's Date.
MARGIN_S = 3600


def max_days(now: datetime.datetime) -> int:
    return int((TIME_T_END - now).total_seconds() - MARGIN_S) // DAY_S


def parse_days(text: str, now: datetime.datetime) -> int:
    if not re.fullmatch(r"[1-9][0-9]*", text):
        raise Usage("--valid-days takes a whole number of days, 1 or more")
    days, most = int(text), max_days(now)
    if days > most:
        raise Usage(f"--valid-days {days}: at most {most} today, so that "
                    "Valid-Until stays before 2038-01-19 03:14:07 UTC, "
                    "which devices with a 32-bit time_t cannot pass")
    return days


def valid_until(release: str, now: datetime.datetime) -> str:
    """Release's Valid-Until as written, once it is seen to be a date
    ahead that devices read."""
    match = re.search(r"^Valid-Until: (.+)$", release, re.MULTILINE)
    try:
        when = email.utils.parsedate_to_datetime(match[1]) if match else None
    except ValueError:
        when = None
    if when is None or not now < when <= TIME_T_END:
        raise Failure("apt-ftparchive wrote no Valid-Until between now and "
                      f"2038-01-19: {match[1] if match else 'none'}")
    return match[1] if match else ""
