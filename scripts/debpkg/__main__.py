# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The command line that scripts/lib.sh's ensure_packages and
load_packages run, and the entry into a build environment's root."""

from __future__ import annotations

import os
import sys
from pathlib import Path

from . import apt, buildenv, packages
from .common import Failure, say, tell

USAGE = """\
usage: python3 -m debpkg ensure PACKAGE...
       python3 -m debpkg install PACKAGE|DEB...
       python3 -m debpkg load DEB_DIR SOURCE_DIR
       python3 -m debpkg enter PLAN

ensure installs those of the packages that are not installed yet; install
installs them all. Names may carry an architecture (pkg:armhf); a .deb
file comes with what it depends on; ensure takes a|b as there when either
is, else installs the first that apt offers. Both update apt's lists
first, retrying while a mirror is mid-sync, and never remove a package.
Environment:
APT_RETRIES (tries of apt-get update, 3), APT_RETRY_PAUSE (seconds between
them, 20), APT_SIMULATE=1 (apt-get -s: nothing is installed).

load prints the version ("version V"), the architecture ("arch A") and
each package ("deb NAME PATH") that scripts/package left in DEB_DIR for
SOURCE_DIR's version, or else the reason they do not do.

enter mounts and changes root as PLAN (JSON) says, then runs its command:
buildenv.py runs it under unshare, never by hand.

Exit status: 0 done, 1 a failure, 2 usage."""


def main(argv: list[str]) -> int:
    command, args = (argv[0], argv[1:]) if argv else ("", [])
    try:
        if command in ("ensure", "install"):
            settings = apt.Settings.from_environment(os.environ)
            if command == "ensure":
                return 0 if apt.ensure(args, settings) else 1
            if args:
                return 0 if apt.install_all(args, settings) else 1
        elif command == "enter":
            return buildenv.main_enter(args)
        elif command == "load" and len(args) == 2:
            try:
                found = packages.load(Path(args[0]), Path(args[1]))
            except Failure as e:
                tell(str(e))
                return e.status
            for line in found.lines():
                tell(line)
            return 0
    except Failure as e:
        say(str(e))
        return e.status
    except KeyboardInterrupt:
        return 130
    say(USAGE)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
