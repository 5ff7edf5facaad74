# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The deb822 source that DIR carries, and the values apt can read in it.

apt splits URIs: at whitespace and Signed-By: at whitespace and commas, and
its methods refuse a URI with control characters even when they are
percent-encoded. It decodes percent escapes in a file: URI, so a folder's
path goes in encoded; Signed-By: is taken as it is, and must be absolute
(anything else is read as a fingerprint)."""

from __future__ import annotations

import os
import re
import urllib.parse
from pathlib import Path

from .common import Usage

_CONTROL = re.compile(rb"[\x00-\x1f\x7f]")
_SPLITS_URI = re.compile(r"[\s\x00-\x1f\x7f]")
_SPLITS_SIGNED_BY = re.compile(r"[\s,\x00-\x1f\x7f]")
# RFC 3986's characters of a path segment, besides the unreserved ones that
# quote() keeps anyway: a usual path is written as it is.
_PATH_CHARACTERS = "/!$&'()*+,;=:@"


def file_uri(folder: Path) -> str:
    """file:FOLDER as apt reads it back."""
    raw = os.fsencode(folder)
    if _CONTROL.search(raw):
        raise Usage(f"{str(folder)!r}: apt refuses a file: URI with control "
                    "characters; use another folder, or --url")
    return "file:" + urllib.parse.quote(raw, safe=_PATH_CHARACTERS)


def check_uri(uri: str) -> None:
    try:
        uri.encode()
    except UnicodeEncodeError:
        raise Usage(f"--url {uri!r}: not UTF-8, as a source file must "
                    "be") from None
    if _SPLITS_URI.search(uri):
        raise Usage(f"--url {uri!r}: apt cannot read a URI with whitespace "
                    "or control characters; percent-encode them (%20)")


def check_signed_by(path: str, option: str) -> None:
    """Refuses a keyring path that apt would not read as one; option says
    what gave it."""
    if not path.startswith("/"):
        raise Usage(f"{option} {path!r}: Signed-By takes an absolute path")
    try:
        path.encode()
    except UnicodeEncodeError:
        raise Usage(f"{option} {path!r}: not UTF-8, as a source file must "
                    "be") from None
    if _SPLITS_SIGNED_BY.search(path):
        raise Usage(f"{option} {path!r}: apt splits Signed-By at whitespace "
                    "and commas and refuses control characters; give "
                    "--keyring-path a path without them")


def render(uri: str, suites: list[str], components: list[str],
           keyring: str) -> str:
    return (f"Types: deb\nURIs: {uri}\nSuites: {' '.join(suites)}\n"
            f"Components: {' '.join(components)}\nSigned-By: {keyring}\n")
