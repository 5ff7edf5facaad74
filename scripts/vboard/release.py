# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""A device moved from Debian 12 to 13, once, measured (`scripts/board
release-upgrade`).

A Debian 12 board with the tree's bookworm packages installed from the
repository, the service running and muted. The repository serves both
suites (the Debian 13 build in trixie's). Debian's packages come through
the proxy on this machine (proxy.py). First the board is brought up
to date on 12; then Debian's documented upgrade: every source from
bookworm to trixie, `apt update`, `apt upgrade --without-new-pkgs`, `apt
full-upgrade`, a reboot into the new kernel. Without a terminal: apt
takes -y, dpkg keeps a changed configuration file (--force-confdef,
--force-confold), and each question it would have asked is counted.

Measured: each step's time, every restart of the service and its length
(the journal's wall clock, across the reboot), what apt asked. Checked:
the board ends on Debian 13 with the Debian 13 build, the service
running, advertised and still muted.
"""

from __future__ import annotations

from debpkg import releases

from . import image, parse, proxy, upgrade
from .clock import Stopwatch
from .common import CONFIG, PROXY_URL, REPO_URL, SERVICE, Paths, note
from .limits import (ADVERTISED_LIMIT_S, APT_LIMIT_S, BOOT_LINK_LIMIT_S,
                     SSH_LIMIT_S)
from .observe import (is_active, journal, journal_cursor, link_sees,
                      mic_change)
from .remote import Board
from .results import Report

APT_PROXY_CONF = "/etc/apt/apt.conf.d/80board-proxy"
# Debian's sources of the board; the image's were put aside at install.
SOURCES = "/etc/apt/sources.list"
DPKG_KEEP = ["-o", "Dpkg::Options::=--force-confdef",
             "-o", "Dpkg::Options::=--force-confold"]


def from_to(paths: Paths) -> tuple[releases.Release, releases.Release]:
    """The board's release and the one after it."""
    numbers = sorted(r.number for r in releases.RELEASES.values())
    now = paths.release
    later = [n for n in numbers if n > now.number]
    if not later:
        raise ValueError(f"no release after {now.title}")
    after = next(r for r in releases.RELEASES.values()
                 if r.number == later[0])
    return now, after


def proxy_conf() -> str:
    """The board's apt through the cache; the repository straight."""
    host = REPO_URL.split("//", 1)[1].strip("/")
    return (f'Acquire::http::Proxy "{PROXY_URL}";\n'
            f'Acquire::http::Proxy::{host} "DIRECT";\n')


def debian_sources(suite: str, uri: str, security: str | None) -> str:
    """Debian's sources of a release, one-line, as the image had them."""
    lines = [f"deb {uri} {suite} main", f"deb {uri} {suite}-updates main"]
    if security:
        lines.append(f"deb {security} {suite}-security main")
    return "".join(line + "\n" for line in lines)


def apt_argv(*words: str) -> list[str]:
    """apt without a terminal: no question asked, a changed configuration
    file kept."""
    return ["env", "DEBIAN_FRONTEND=noninteractive", "apt", "-y", "-q",
            *DPKG_KEEP, *words]


class ReleaseUpgrade:
    def __init__(self, paths: Paths, board: Board, report: Report,
                 cache: proxy.AptProxy) -> None:
        self.paths = paths
        self.board = board
        self.report = report
        self.cache = cache
        self.names = image.installed_names(paths)
        self.now, self.after = from_to(paths)
        self.questions: list[str] = []
        self.logs: list[str] = []

    def apt(self, step: str, argv: list[str]) -> bool:
        """One step of the upgrade, timed and logged; whether it passed."""
        clock = Stopwatch()
        result = self.board.ssh(argv, check=False, merge_stderr=True,
                                timeout=APT_LIMIT_S)
        seconds = clock.seconds()
        (self.paths.run / f"release-{step}.log").write_text(result.stdout)
        self.logs.append(result.stdout)
        asked = parse.conffile_questions(result.stdout)
        self.questions += asked
        self.report.phase(f"release-{step}", seconds)
        return self.report.check(
            f"release-{step}", result.returncode == 0,
            f"{' '.join(argv[2:] if argv[0] == 'env' else argv)}: exit "
            f"{result.returncode}, {seconds:.1f} s"
            + (f"; asked about {' '.join(asked)}" if asked else ""))

    def prepare(self, uri: str, security: str | None) -> None:
        """The service running and muted; apt through the cache; Debian's
        sources of the board's own release, brought up to date."""
        board = self.board
        if board.out(["vantor-state", "--config", CONFIG, "mic"],
                     check=False) == "off":
            mic_change(board, "on")
        lines = mic_change(board, "off")
        self.report.check("release-muted-before",
                          any(line.endswith("Microphone muted")
                              for line in lines),
                          " | ".join(lines) or "no Microphone line")
        board.ssh(["sh", "-c", 'cat > "$0"', APT_PROXY_CONF],
                  input=proxy_conf())
        board.ssh(["sh", "-c", 'cat > "$0" && rm -f "$0.offline"', SOURCES],
                  input=debian_sources(self.now.suite, uri, security))
        self.apt(f"{self.now.suite}-update", apt_argv("update"))
        self.apt(f"{self.now.suite}-upgrade", apt_argv("upgrade"))

    def move(self) -> bool:
        """Debian's steps, from the change of sources to full-upgrade."""
        board = self.board
        old, new = self.now.suite, self.after.suite
        sources = board.out(["sh", "-c", "ls /etc/apt/sources.list "
                             "/etc/apt/sources.list.d/*"], check=False)
        board.ssh(["sed", "-i", f"s/{old}/{new}/g", *sources.split()])
        named = board.out(["grep", "-rh", "-E", "^(deb |Suites:)",
                           *sources.split()], check=False)
        self.report.check("release-sources", old not in named
                          and named.count(new) >= 2,
                          " | ".join(named.splitlines()))
        return (self.apt("update", apt_argv("update"))
                and self.apt("upgrade-without-new-pkgs",
                             apt_argv("upgrade", "--without-new-pkgs"))
                and self.apt("full-upgrade", apt_argv("full-upgrade")))

    def take_kernel(self) -> str:
        """The newest kernel and initrd the upgrade installed, for the next
        power-on; its release."""
        board = self.board
        newest = board.out(["sh", "-c", "ls /boot/vmlinuz-*-armmp | "
                            "sort -V | tail -n 1"], check=False)
        version = newest.removeprefix("/boot/vmlinuz-")
        if not version:
            return ""
        board.fetch(newest, self.paths.run / "vmlinuz")
        board.fetch(f"/boot/initrd.img-{version}",
                    self.paths.run / "initrd.img")
        return version

    def reboot(self, entry: parse.Expected) -> float | None:
        """Power-off from inside and power-on, as -no-reboot makes a reboot;
        seconds to the advertisement seen across the link."""
        self.board.power_off()
        clock = Stopwatch()
        self.board.power.on()
        self.cache.relay_into()
        seen = link_sees(self.board, entry, BOOT_LINK_LIMIT_S)
        seconds = clock.seconds()
        if not self.board.wait_ssh(SSH_LIMIT_S, pause_s=2):
            self.report.fail("release-boot", f"no ssh within {SSH_LIMIT_S} "
                             "s of power-on")
            return None
        self.report.check("release-boot-advertised", bool(seen),
                          f"seen across the link {seconds:.1f} s after "
                          "power-on" if seen else "not seen across the link "
                          f"within {BOOT_LINK_LIMIT_S} s")
        return seconds if seen else None

    def after_boot(self, kernel: str, cursor: str,
                   entry: parse.Expected) -> None:
        board, report = self.board, self.report
        codename = board.out(["sh", "-c", ". /etc/os-release && "
                              "echo $VERSION_CODENAME"], check=False)
        report.check("release-codename", codename == self.after.suite,
                     f"/etc/os-release: {codename}")
        running = board.out(["uname", "-r"], check=False)
        report.check("release-kernel", bool(kernel) and running == kernel,
                     f"runs {running}, installed {kernel or 'none'}")
        updates = upgrade.Updates(self.paths, board, report)
        want = releases.build_version(
            releases.tree_version(upgrade.tree_version(self.paths),
                                  self.now.suite), self.after)
        found = upgrade.installed_versions(board, self.names)
        report.check("release-version", updates.at_version(found, want),
                     ", ".join(f"{n} {found.get(n, 'missing')}"
                               for n in self.names))
        report.check("release-active", updates.wait_active(
            ADVERTISED_LIMIT_S), f"{SERVICE} {is_active(board)}")
        updates.check_service("release", "", entry)
        mic = board.out(["vantor-state", "--config", CONFIG, "mic"],
                        check=False)
        report.check("release-mute-file", mic == "off",
                     f"vantor-state mic: {mic}")
        ours = [q for q in self.questions if q.startswith("/etc/vantor/")]
        report.check("release-no-questions", not self.questions,
                     "no configuration file question" if not self.questions
                     else f"asked about {' '.join(self.questions)} "
                     f"({len(ours)} of ours)")
        held = board.out(["sh", "-c", "apt-get -s -q dist-upgrade | "
                          "grep -c '^Inst ' || true"], check=False)
        report.check("release-nothing-left", held == "0",
                     f"{held} package(s) still to upgrade")
        self.measure_service(cursor)

    def measure_service(self, cursor: str) -> None:
        """Every restart of the service since cursor, on the wall clock."""
        entries = parse.journal_entries(journal(
            self.board, "--after-cursor", cursor, "-o", "json",
            check=False))
        gaps = parse.outages(entries)
        starts = sum(e.pid == 1 and e.message.startswith("Started ")
                     for e in entries)
        within = [g for g in gaps if not g.boots]
        across = [g for g in gaps if g.boots]
        report = self.report
        report.figure("release_service_starts", starts, "",
                      "systemd's Started lines of the unit, apt and reboot")
        report.figure("release_restarts_by_apt", len(within), "",
                      "restarts within a boot, each back to advertised")
        report.figure("release_downtime_apt_s",
                      " ".join(f"{g.seconds:.1f}" for g in within) or "0",
                      "s", "each restart by apt: last line -> advertised")
        report.figure("release_downtime_reboot_s",
                      " ".join(f"{g.seconds:.1f}" for g in across) or "-",
                      "s", "last line before the reboot -> advertised")
        report.figure("release_downtime_s",
                      f"{sum(g.seconds for g in gaps):.1f}", "s",
                      "all the service's gaps, apt and reboot")
        report.check("release-apt-restarts", len(within) <= 1,
                     f"apt restarted {SERVICE} {len(within)} time(s)")


def debian_uris(suite: str) -> tuple[str, str | None]:
    """The Debian mirror and security archive the board's apt takes, as
    this machine's apt sources name them."""
    return (image.mirror(suite),
            image.machine_mirror(suite, security=True))


def unpacked(logs: list[str]) -> int:
    """Packages dpkg unpacked in the logs."""
    return sum(line.startswith("Unpacking ") for log in logs
               for line in log.splitlines())


def run(paths: Paths, board: Board, report: Report,
        cache: proxy.AptProxy, entry: parse.Expected) -> None:
    """On a board of the older release with the packages installed and the
    service running: the move to the next release, measured."""
    moving = ReleaseUpgrade(paths, board, report, cache)
    uri, security = debian_uris(moving.now.suite)
    note(f"release upgrade: {moving.now.title} -> {moving.after.title}, "
         f"Debian from {uri}" + (f" and {security}" if security else "")
         + f" through {PROXY_URL}")
    cache.relay_into()
    moving.prepare(uri, security)
    cursor = journal_cursor(board)
    clock = Stopwatch()
    moved = moving.move()
    report.figure("release_packages_unpacked", unpacked(moving.logs[2:]), "",
                  "packages dpkg unpacked in the move")
    if not moved:
        return
    kernel = moving.take_kernel()
    apt_s = clock.seconds()
    back = moving.reboot(entry)
    report.figure("release_apt_s", f"{apt_s:.1f}", "s",
                  "sources changed -> full-upgrade done")
    if back is not None:
        report.figure("release_reboot_s", f"{back:.1f}", "s",
                      "power-on -> advertised, the new release")
        report.figure("release_total_s", f"{clock.seconds():.1f}", "s",
                      "sources changed -> advertised after the reboot")
    moving.after_boot(kernel, cursor, entry)
    board.ssh(["systemctl", "stop", SERVICE], check=False)
