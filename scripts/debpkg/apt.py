# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""apt-get update and install on a machine whose Debian mirror may be
mid-sync.

A mirror mid-sync serves, for a while (an hour has been seen), an index
whose size does not match its Release file, and apt-get update exits 100
for the whole run. The other indexes are fresh then, so the run goes on when
the packages wanted are installable. When they are not and some suite's
index failed, they are tried once more from the other suites alone: a
security suite mid-sync for one architecture leaves Multi-Arch: same
libraries at different versions on the two architectures ("held broken
packages"). Without that suite apt may want to remove half the toolchain to
get there, hence --no-remove on every install.

Environment: APT_RETRIES (tries of apt-get update, 3), APT_RETRY_PAUSE
(seconds between them, 20), APT_SIMULATE=1 (apt-get -s: nothing is
installed)."""

from __future__ import annotations

import dataclasses
import os
import re
import tempfile
import time
from pathlib import Path
from typing import Callable, Mapping

from . import skew
from .common import Failure, Runner, capture, noninteractive, say, show, tell

UPDATE_LIMIT_S = 900
# A first install of the build packages on a slow mirror.
INSTALL_LIMIT_S = 3600
QUERY_LIMIT_S = 120
# apt-get indextargets' fields, one index a line.
INDEX_FORMAT = "$(REPO_URI) $(RELEASE) $(COMPONENT) $(ARCHITECTURE)"


@dataclasses.dataclass(frozen=True)
class Settings:
    retries: int = 3
    pause_s: float = 20
    simulate: bool = False

    @classmethod
    def from_environment(cls, env: Mapping[str, str]) -> Settings:
        try:
            return cls(retries=int(env.get("APT_RETRIES") or 3),
                       pause_s=float(env.get("APT_RETRY_PAUSE") or 20),
                       simulate=env.get("APT_SIMULATE", "0") == "1")
        except ValueError as e:
            raise Failure("apt: APT_RETRIES and APT_RETRY_PAUSE are numbers "
                          f"({e})", 2) from e


@dataclasses.dataclass(frozen=True)
class Update:
    """How the last apt-get update went: the indexes it could not fetch, as
    apt names them, and their suites."""
    ok: bool
    failed_indexes: tuple[str, ...] = ()
    failed_suites: tuple[str, ...] = ()


def failed_indexes(output: str) -> list[str]:
    """The indexes of apt-get update's "Err:N URI SUITE/COMPONENT ARCH
    TARGET" lines, without their "Err:N " prefix."""
    return re.findall(r"^Err:[0-9]* (.*)$", output, re.MULTILINE)


def failed_suites(indexes: list[str]) -> list[str]:
    """The suites of those indexes (bookworm-security of
    bookworm-security/main), each once."""
    suites = {fields[1].split("/", 1)[0]
              for fields in (index.split() for index in indexes)
              if len(fields) >= 2}
    return sorted(suites)


def error_lines(output: str) -> list[str]:
    return [line for line in output.splitlines()
            if re.match(r"[EW]: ", line)]


def sources_without(index_targets: str, suites: set[str]) -> list[str]:
    """One-line sources of the Packages indexes that apt-get indextargets
    (INDEX_FORMAT) lists, but those of suites."""
    sources = []
    for line in sorted(set(index_targets.splitlines())):
        fields = line.split(None, 3)
        if not fields:
            continue
        uri, suite, component, arch = (fields + ["", "", ""])[:4]
        if suite not in suites:
            sources.append(f"deb [arch={arch}] {uri} {suite} {component}")
    return sources


def installed(package: str, runner: Runner = capture) -> bool:
    result = runner(["dpkg-query", "-W", "-f=${Status}", package],
                    timeout=QUERY_LIMIT_S, stderr="drop")
    return "install ok installed" in result.output


def update(settings: Settings, runner: Runner = capture,
           sleep: Callable[[float], None] = time.sleep) -> Update:
    """apt-get update, tried settings.retries times with a pause. When some
    index still fails the lists of the others are fresh, and the result
    names the failing ones."""
    attempt = 1
    while True:
        result = runner(["apt-get", "update"], timeout=UPDATE_LIMIT_S)
        if result.status == 0:
            return Update(ok=True)
        indexes = failed_indexes(result.output)
        if attempt >= settings.retries:
            break
        say(f"apt: update failed (try {attempt} of {settings.retries}): "
            f"{' '.join(indexes) or 'see below'}; "
            f"again in {settings.pause_s:g} s")
        sleep(settings.pause_s)
        attempt += 1
    errors = error_lines(result.output)
    show("".join(f"{line}\n" for line in errors) if errors
         else result.output.rstrip("\n") + "\n")
    say(f"apt: after {settings.retries} tries these indexes still fail "
        "(old lists or none used):")
    for index in indexes or ["unknown"]:
        say(f"apt:   {index}")
    return Update(ok=False, failed_indexes=tuple(indexes),
                  failed_suites=tuple(failed_suites(indexes)))


def install(targets: list[str], last: Update, settings: Settings,
            runner: Runner = capture) -> bool:
    """apt-get install of targets (names, pkg:arch, or .deb files) that
    never removes a package; when that fails and last named failed suites,
    once more from the other suites, taking each Multi-Arch: same library
    that the lists now have at another version on one architecture at the
    version both have (skew.version_pins). Says why when it fails."""
    options = ["-y", "-q", "--no-install-recommends", "--no-remove"]
    if settings.simulate:
        options.append("-s")
    env = noninteractive()
    first = runner(["apt-get", "install", *options, *targets],
                   timeout=INSTALL_LIMIT_S, env=env)
    if first.status == 0:
        return True
    if not last.failed_suites:
        show(first.output)
        say(f"apt: could not install {' '.join(targets)}")
        return False

    with tempfile.TemporaryDirectory(prefix="apt-lists.") as folder:
        lists = Path(folder)
        targets_listed = runner(
            ["apt-get", "indextargets", "--format", INDEX_FORMAT,
             "Identifier: Packages"], timeout=QUERY_LIMIT_S, stderr="pass")
        kept = sources_without(targets_listed.output, set(last.failed_suites))
        (lists / "sources.list").write_text("".join(f"{s}\n" for s in kept))
        (lists / "parts").mkdir()
        without = ["-o", f"Dir::Etc::SourceList={lists}/sources.list",
                   "-o", f"Dir::Etc::SourceParts={lists}/parts"]
        say(f"apt: installing without {' '.join(last.failed_suites)}, "
            "whose index failed")
        pins = skew.version_pins(without, targets, runner)
        if pins:
            say("apt: taking the version both architectures have: "
                + " ".join(pins))
            options.append("--allow-downgrades")
        second = runner(["apt-get", *without, "install", *options, *targets,
                         *pins], timeout=INSTALL_LIMIT_S, env=env)
    if second.status == 0:
        if settings.simulate:
            for line in second.output.splitlines():
                if re.match(r"(Inst|Remv) ", line):
                    say(line)
        return True
    show(second.output)
    missing = [t for t in targets
               if not os.path.isfile(t) and not installed(t, runner)]
    say(f"apt: not installed: {' '.join(missing or targets)}; "
        f"failing index: {' '.join(last.failed_indexes)}")
    return False


def has_candidate(package: str, runner: Runner = capture) -> bool:
    """Whether apt's lists offer a version of package."""
    policy = runner(["apt-cache", "policy", package], timeout=QUERY_LIMIT_S,
                    stderr="drop").output
    found = re.search(r"^\s*Candidate: (.*)$", policy, re.MULTILINE)
    return found is not None and found.group(1).strip() != "(none)"


def pick(entry: str, runner: Runner = capture) -> str:
    """Of alternatives (a|b, as debian/control lists a build dependency
    that differs between releases) the first that apt offers; the first
    when none is, for apt to say why."""
    choices = entry.split("|")
    return next((c for c in choices if has_candidate(c, runner)), choices[0])


def ensure(packages: list[str], settings: Settings,
           runner: Runner = capture) -> bool:
    """Installs those of packages not installed yet, so a second run costs
    nothing. An entry a|b is there when either is installed."""
    missing = [p for p in packages
               if not any(installed(a, runner) for a in p.split("|"))]
    if not missing:
        return True
    tell(f"Installing: {' '.join(missing)}")
    # A failed index need not matter to these packages: install() says
    # when it does.
    last = update(settings, runner)
    return install([pick(p, runner) if "|" in p else p for p in missing],
                   last, settings, runner)


def install_all(targets: list[str], settings: Settings,
                runner: Runner = capture) -> bool:
    """Installs targets (a .deb file with what it depends on) whether
    installed or not, the lists updated first."""
    return install(targets, update(settings, runner), settings, runner)
