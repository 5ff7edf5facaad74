# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Updates of a running board through its signed repository.

The tree's packages are installed and the service runs, muted and
advertised. The same tree as the next version (scripts/package --version,
a changelog entry on a copy) is published to the repository and taken with
`apt-get upgrade`; then the older version again with `apt-get install
NAME=VERSION --allow-downgrades`. Each step: exactly one restart, the new
files mapped, the mute kept, advertised again, dpkg clean; its downtime is
the old process's last line to the new one's advertisement. Power cuts at
random moments of further upgrades follow when asked for: after each boot,
what dpkg and the service were found in, `dpkg --configure -a` when dpkg
says it is needed, and the same checks.
"""

from __future__ import annotations

import dataclasses
import random
import subprocess
import time
from pathlib import Path

from debpkg import releases

from . import image, parse, runner
from .clock import Stopwatch, wait_until
from .common import CONFIG, SERVICE, Paths, note
from .limits import (ADVERTISED_LIMIT_S, APT_LIMIT_S, END_GRACE_S,
                     PACKAGE_LIMIT_S, SERVICE_CHANGE_LIMIT_S, SSH_LIMIT_S)
from .observe import (board_sees, is_active, journal_cursor, journal_since,
                      main_pid, mic_change, show)
from .remote import Board
from .results import Report

NEXT_SUFFIX = "+upgrade1"
# What docs/installing.md tells a device maker to add for unattended
# upgrades; Debian's package enables its periodic runs on install.
UNATTENDED_CONF = "/etc/apt/apt.conf.d/52vantor-unattended"
UNATTENDED_TEXT = ('Unattended-Upgrade::Origins-Pattern '
                   '{ "origin=Vantor,codename=${distro_codename}"; };\n')
# The apt timers' services, started by hand instead of at their times.
UNATTENDED_RUN = ["sh", "-c", "systemctl start apt-daily.service && "
                  "systemctl start apt-daily-upgrade.service"]
APT_ENV = ["env", "DEBIAN_FRONTEND=noninteractive"]


def next_packages(paths: Paths, version: str) -> Path:
    """The armhf packages of this tree as version (for the board's release),
    in BOARD_DIR/next/SUITE/armhf; returns BOARD_DIR/next/SUITE. Made
    before the board is on: the build wants both cores."""
    out = paths.board_dir / "next" / paths.suite
    note(f"upgrade: making the packages of this tree as {version}")
    runner.run([str(paths.root / "scripts/package"), "--suite", paths.suite,
                "--arch", "armhf", "--out", str(out / "armhf"), "--version",
                releases.tree_version(version, paths.suite)],
               stdout=subprocess.DEVNULL, timeout=PACKAGE_LIMIT_S)
    return out


def tree_version(paths: Paths) -> str:
    """The version of the tree's packages for the board's release."""
    return releases.build_version(runner.output(
        ["dpkg-parsechangelog", "-l", str(paths.root / "debian/changelog"),
         "-SVersion"]), paths.release)


def installed_versions(board: Board, names: list[str]) -> dict[str, str]:
    """name -> "VERSION STATUS" (dpkg's abbreviation, "ii" when whole)."""
    out = board.out(["dpkg-query", "-W", "-f",
                     "${Package} ${Version} ${db:Status-Abbrev}\\n", *names],
                    check=False)
    found: dict[str, str] = {}
    for line in out.splitlines():
        words = line.split()
        if len(words) >= 3:
            found[words[0]] = f"{words[1]} {words[2]}"
    return found


def _after_update(argv: list[str]) -> list[str]:
    """argv for the board, run once `apt-get update` succeeded, without
    questions. The repository's dates are checked as on a device, whatever
    the image's apt.conf says."""
    return ["sh", "-c", "apt-get update -q --error-on=any"
            " -o Acquire::Check-Valid-Until=true -o Acquire::Check-Date=true"
            ' && exec "$@"', "apt", *APT_ENV, *argv]


@dataclasses.dataclass
class Step:
    """What one change of version did to the running service."""
    name: str
    apt_s: float = 0
    downtime_s: float | None = None


class Updates:
    def __init__(self, paths: Paths, board: Board, report: Report) -> None:
        self.paths = paths
        self.board = board
        self.report = report
        self.names = image.installed_names(paths)

    def apt(self, argv: list[str]) -> subprocess.CompletedProcess[str]:
        return self.board.ssh(_after_update(argv), check=False,
                              merge_stderr=True, timeout=APT_LIMIT_S)

    def at_version(self, found: dict[str, str], version: str) -> bool:
        """Whether every package is installed whole at version."""
        return all(found.get(n) == f"{version} ii" for n in self.names)

    def install_argv(self, version: str) -> list[str]:
        """apt-get install of every package at version, older or not."""
        return ["apt-get", "install", "-y", "-q", "--allow-downgrades",
                *[f"{n}={version}" for n in self.names]]

    def wait_active(self, limit_s: float) -> bool:
        """Whether the service is active within limit_s (a boot starts it
        some time after ssh answers)."""
        return wait_until(lambda: is_active(self.board) == "active", limit_s,
                          pause_s=2)

    def check_service(self, label: str, cursor: str,
                      entry: parse.Expected) -> None:
        """After an update or a boot: the newest process maps no replaced
        file, reported the mute as muted, is advertised; dpkg is clean."""
        report, board = self.report, self.board
        pid = main_pid(board)
        deleted = board.out(["sh", "-c", "grep '(deleted)' /proc/$0/maps | "
                             "awk '{ print $6 }' | sort -u", pid], check=False)
        report.check(f"{label}-mapped", pid not in ("", "0") and not deleted,
                     f"process {pid} maps no replaced file" if not deleted
                     else f"process {pid} maps replaced files: "
                     + " ".join(deleted.split()))
        entries = journal_since(board, cursor, *([] if cursor else ["-b"]))
        mute = parse.last_mute_report(entries, int(pid or 0))
        report.check(f"{label}-muted", mute == "muted",
                     f"process {pid} reports the microphone "
                     f"{mute or 'nothing'}")
        report.timed(f"{label}-advertised",
                     "listed by the board's avahi-browse",
                     lambda: board_sees(board, entry, ADVERTISED_LIMIT_S))
        audit = board.out(["dpkg", "--audit"], check=False)
        report.check(f"{label}-dpkg-audit", not audit,
                     "dpkg --audit: clean" if not audit else
                     "dpkg --audit: " + " | ".join(audit.splitlines()[:3]))

    def step(self, name: str, argv: list[str], version: str,
             entry: parse.Expected, after_update: bool = True) -> Step:
        """One change of version on the running service: argv after
        `apt-get update`, or by itself."""
        report, board = self.report, self.board
        before = show(board, "InvocationID", "MainPID")
        cursor = journal_cursor(board)
        clock = Stopwatch()
        result = self.apt(argv) if after_update else board.ssh(
            argv, check=False, merge_stderr=True, timeout=APT_LIMIT_S)
        step = Step(name, apt_s=clock.seconds())
        # The package's restart returns at READY=1: apt is done only then.
        at_return = show(board, "ActiveState", "SubState")
        (self.paths.run / f"{name}.log").write_text(result.stdout)
        report.check(f"{name}-apt", result.returncode == 0,
                     f"{' '.join(argv)}: exit {result.returncode}, "
                     f"{step.apt_s:.1f} s")
        found = installed_versions(board, self.names)
        report.check(f"{name}-ready-at-return",
                     at_return.get("ActiveState") == "active",
                     f"{at_return.get('ActiveState')}/"
                     f"{at_return.get('SubState')} when apt returned")
        report.check(f"{name}-version",
                     self.at_version(found, version),
                     ", ".join(f"{n} {found.get(n, 'missing')}"
                               for n in self.names))

        # The restart may still be under way when apt returns after an
        # error; give the advertisement its time before counting.
        def restarted() -> parse.Restart:
            return parse.restart_after(journal_since(board, cursor),
                                       int(before["MainPID"]))

        def advertised(seen: parse.Restart) -> bool:
            return seen.downtime_s is not None

        restart = wait_until(restarted, ADVERTISED_LIMIT_S, pause_s=2,
                             done=advertised)
        after = show(board, "InvocationID", "ActiveState")
        report.check(f"{name}-one-restart",
                     restart.starts == 1
                     and after["InvocationID"] != before["InvocationID"]
                     and after["ActiveState"] == "active",
                     f"{restart.starts} start(s), invocation "
                     f"{before['InvocationID'][:8]} -> "
                     f"{after['InvocationID'][:8]}, {after['ActiveState']}")
        step.downtime_s = restart.downtime_s
        if step.downtime_s is not None:
            report.figure(f"{name}_downtime_s", f"{step.downtime_s:.1f}", "s",
                          "old process's last line -> new 'Advertised ...: "
                          "SUCCESS'")
        report.figure(f"{name}_apt_s", f"{step.apt_s:.1f}", "s",
                      f"apt-get update and {argv[1]} on the board"
                      if after_update else "the apt timers' services, "
                      "started by hand, on the board")
        self.check_service(name, cursor, entry)
        return step

    def upgrade_and_back(self, old: str, new: str, next_dir: Path,
                         entry: parse.Expected) -> Step:
        """Mutes, publishes new, upgrades, goes back to old; returns the
        upgrade's step (its apt time paces the power cuts)."""
        if self.board.out(["vantor-state", "--config", CONFIG, "mic"],
                          check=False) == "off":
            mic_change(self.board, "on")
        lines = mic_change(self.board, "off")
        self.report.check("upgrade-muted-before",
                          any(line.endswith("Microphone muted")
                              for line in lines),
                          " | ".join(lines) or "no Microphone line")
        image.publish(self.paths, [(self.paths.suite, next_dir)])
        up = self.step("upgrade", ["apt-get", "upgrade", "-y", "-q"], new,
                       entry)
        self.step("downgrade", self.install_argv(old), old, entry)
        self.unattended(new, entry)
        self.stopped_stays_stopped(old)
        return up

    def unattended(self, new: str, entry: parse.Expected) -> None:
        """unattended-upgrades, configured as the docs say, takes the new
        version in its own run: one restart, the mute kept."""
        board = self.board
        enabled = board.out(["apt-config", "dump",
                             "APT::Periodic::Unattended-Upgrade"],
                            check=False)
        self.report.check("unattended-enabled", '"1"' in enabled,
                          enabled or "APT::Periodic::Unattended-Upgrade unset")
        board.ssh(["sh", "-c", 'cat > "$0"', UNATTENDED_CONF],
                  input=UNATTENDED_TEXT)
        self.step("unattended", UNATTENDED_RUN, new, entry,
                  after_update=False)
        log = board.out(["tail", "-n", "5",
                         "/var/log/unattended-upgrades/unattended-upgrades"
                         ".log"], check=False)
        (self.paths.run / "unattended-upgrades.log").write_text(log + "\n")

    def stopped_stays_stopped(self, old: str) -> None:
        """A change of version of a stopped service (here back to old)
        leaves it stopped; it is started again afterwards."""
        board = self.board
        board.ssh(["systemctl", "stop", SERVICE],
                  timeout=SERVICE_CHANGE_LIMIT_S)
        result = self.apt(self.install_argv(old))
        active = is_active(board)
        found = installed_versions(board, self.names)
        self.report.check(
            "upgrade-stopped-stays-stopped",
            result.returncode == 0 and active == "inactive" and
            self.at_version(found, old),
            f"apt exit {result.returncode}; {SERVICE} {active}; "
            + ", ".join(f"{n} {v}" for n, v in found.items()))
        board.ssh(["systemctl", "start", SERVICE],
                  timeout=SERVICE_CHANGE_LIMIT_S)

    def power_cuts(self, cuts: int, seed: int, old: str, upgrade_s: float,
                   entry: parse.Expected) -> None:
        """cuts upgrades from old to new, each cut at a random moment of
        it; after each boot, what was found and whether it recovers."""
        rng = random.Random(seed)
        print(f"board: upgrade power cuts: {cuts}, seed {seed}", flush=True)
        for cut in range(1, cuts + 1):
            found = installed_versions(self.board, self.names)
            if not self.at_version(found, old):
                self.apt(self.install_argv(old))
                found = installed_versions(self.board, self.names)
            if not self.report.check(f"upgrade-cut-{cut}-from",
                                     self.at_version(found, old),
                                     f"{old} installed before the upgrade"):
                return
            delay = rng.uniform(0, upgrade_s)
            upgrading = self.board.popen(
                _after_update(["apt-get", "upgrade", "-y", "-q"]),
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
            time.sleep(delay)
            self.board.power.cut()
            # Its session ended with the cut: only reaped here.
            runner.wait(upgrading, END_GRACE_S)
            self.board.power.on()
            if not self.board.wait_ssh(SSH_LIMIT_S, pause_s=2):
                self.report.fail(f"upgrade-cut-{cut}-boot",
                                 f"no ssh within {SSH_LIMIT_S} s of power-on")
                return
            self.after_cut(cut, delay, entry)

    def after_cut(self, cut: int, delay: float,
                  entry: parse.Expected) -> None:
        board = self.board
        found = installed_versions(board, self.names)
        audit = board.out(["dpkg", "--audit"], check=False)
        active = is_active(board)
        audited = (f"lists {len(audit.splitlines())} line(s)" if audit
                   else "clean")
        print(f"board: upgrade cut {cut} after {delay:.1f} s: found "
              f"{', '.join(f'{n} {v}' for n, v in found.items())}; dpkg "
              f"--audit {audited}; service {active}", flush=True)
        if audit:
            configured = board.ssh(["env", "DEBIAN_FRONTEND=noninteractive",
                                    "dpkg", "--configure", "-a"], check=False,
                                   merge_stderr=True, timeout=APT_LIMIT_S)
            print(f"board: upgrade cut {cut}: dpkg --configure -a: exit "
                  f"{configured.returncode}", flush=True)
        if board.out(["dpkg", "--audit"], check=False):
            # Unpacked only in part: dpkg cannot configure what it has not
            # got, and `apt-get upgrade` failed on such a package (exit 100);
            # installing the packages by name unpacks them again.
            finished = self.apt(["apt-get", "install", "-y", "-q",
                                 *self.names])
            (self.paths.run / f"cut-{cut}-apt.log").write_text(
                finished.stdout)
            print(f"board: upgrade cut {cut}: apt-get install "
                  f"{' '.join(self.names)}: exit {finished.returncode}",
                  flush=True)
        found = installed_versions(board, self.names)
        self.report.check(f"upgrade-cut-{cut}-active",
                          self.wait_active(ADVERTISED_LIMIT_S),
                          ", ".join(f"{n} {v}" for n, v in found.items()))
        self.check_service(f"upgrade-cut-{cut}", "", entry)


def run_updates(paths: Paths, board: Board, report: Report, next_dir: Path,
                entry: parse.Expected, cuts: int = 0,
                seed: int | None = None) -> None:
    """On a board with the tree's packages installed and the service
    running: the upgrade to next_dir's version and back, then cuts."""
    old = tree_version(paths)
    new = upcoming_version(paths)
    updates = Updates(paths, board, report)
    up = updates.upgrade_and_back(old, new, next_dir, entry)
    if cuts:
        updates.power_cuts(cuts, seed if seed is not None else
                           int(time.time()), old, max(up.apt_s, 10), entry)


def next_version(tree: str, release: releases.Release) -> str:
    """The tree's version (as built for release) as the next version, built
    for the same release: the release's suffix stays last, or the next
    version would sort below the tree's."""
    if not tree.endswith(release.suffix):
        raise ValueError(f"{tree} is not a version for {release.title}")
    return releases.build_version(
        releases.tree_version(tree, release.suite) + NEXT_SUFFIX, release)


def upcoming_version(paths: Paths) -> str:
    """The next version of the tree's packages for the board's release."""
    return next_version(tree_version(paths), paths.release)
