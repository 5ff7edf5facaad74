# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/board's commands."""

from __future__ import annotations

import argparse
import contextlib
import dataclasses
import fcntl
import os
import signal
import stat
import sys
from pathlib import Path
from typing import Callable, Iterator

from debpkg import releases

from . import (checks, crash, image, past2038, powercut, proxy, release,
               soak, upgrade)
from .clock import Stopwatch
from .common import (CONFIG, EXIT_SKIPPED, EXIT_USAGE, FILES, SERVICE,
                     SERVICE_TYPE, BoardError, Paths, Skipped, Usage,
                     board_suite, note)
from .limits import (BOOT_SSH_LIMIT_S, HOST_APT_LIMIT_S, LINK_SLACK_S,
                     LOOK_LIMIT_S)
from .link import Link
from .observe import expected_entry, mic_change
from .power import Power
from .remote import Board
from .results import Report, fail_on_error
from .runner import run

USAGE = """\
An emulated 32-bit ARM board (Debian armhf under qemu-system-arm -M virt)
with the armhf packages installed by apt, for proving them on a whole
system: its own kernel, systemd, D-Bus and avahi-daemon. Runs as root.
Every command takes --suite trixie|bookworm (default $BOARD_SUITE, else
trixie): the board's Debian release, 13 or 12.

  scripts/board base                 the cached base root file system only
  scripts/board image [--build DIR]  base root file system (cached in
                                     $BOARD_DIR/base-KEY/), this run's
                                     disks (an overlay of the base) and a
                                     signed apt repository of the packages
                                     (scripts/apt-repo, a key of this run's)
  scripts/board boot [--build DIR]   image, power on, install the packages
                                     with apt from the repository, served
                                     across the link, leave the board
                                     running
  scripts/board ssh [COMMAND...]     a command (or a shell) on the board
  scripts/board browse               avahi-browse on the build-machine side
  scripts/board stop                 power off and tear the link down
  scripts/board status               whether a board runs from $BOARD_DIR
  scripts/board test [--build DIR]   image, boot, the checks, the figures,
                                     an upgrade and a downgrade (as
                                     upgrade), 3 power cuts, stop; exit 77
                                     when no image can be had
  scripts/board powercut [N] [--build DIR] [--seed S] [--min-s A]
      [--max-s B] [--tool PATH] [--compare-tool PATH]
                                     image, boot, then N power cuts (default
                                     20) after A to B s (2 to 20) while the
                                     state files are written, stop; --tool
                                     names the writer on the board,
                                     --compare-tool another one whose write
                                     latency is measured in turns with it
  scripts/board soak [MINUTES] [--build DIR]
                                     image, boot, then MINUTES (default 60)
                                     of load: the mute written 10 times a
                                     second, the connection status once a
                                     second, an interaction every 2 s,
                                     avahi-daemon restarted every 2 min, the
                                     link down 5 s every 5 min; the service's
                                     RSS, descriptors, threads and
                                     memory.current every 10 s, in
                                     $BOARD_DIR/soak/ (soak.csv, soak.png),
                                     then stop
  scripts/board upgrade [--cuts N] [--seed S] [--build DIR]
                                     image, boot, the service running and
                                     muted; the tree again as the next
                                     version published and taken with
                                     apt-get upgrade, then the older one
                                     with --allow-downgrades: one restart
                                     each, no replaced file mapped, the mute
                                     kept, advertised, dpkg clean, the
                                     downtime; then N power cuts (default
                                     0) at random moments of further
                                     upgrades, and what each boot found
  scripts/board y2038                image, boot, the service enabled and
                                     muted; power on again with the clock
                                     at 2040-02-29: the service advertised,
                                     the mute kept, the journal's dates,
                                     and what systemd, journald and apt
                                     say ($BOARD_DIR/y2038-SUITE.txt)
  scripts/board release-upgrade      a Debian 12 board with the bookworm
                                     packages, muted, taken to Debian 13
                                     as Debian documents it (Debian's
                                     packages through a proxy here):
                                     the trixie build, the service running,
                                     advertised and muted; its downtime
  scripts/board crash                image, boot, systemd-coredump from
                                     the repository; a crash and a
                                     watchdog abort with the packages as
                                     shipped, with libc6-dbg, and with
                                     their -dbgsym packages too: each core
                                     listed, its size,
                                     the journal trace's named frames;
                                     the shipped crash's core through
                                     scripts/symbolize; a crash loop and
                                     its recovery; the status line across
                                     a mute and avahi-daemon's restart
                                     ($BOARD_DIR/crash-SUITE/)
  scripts/board power-on             on again from this run's disk, left
                                     running
  scripts/board cut                  the power off hard, the link torn down

DIR is the armhf build tree (default ./build-armhf), for the test helper
timed_renames; the packages are build-deb/SUITE/armhf/'s, made with
`scripts/package --suite SUITE --arch armhf` when there are none.
BOARD_DIR defaults to
./build-board; BOARD_MIRROR to the Debian mirror of this machine's apt
sources. The board has no route off this machine: its one network link is a
tap device in a network namespace of its own, where a second D-Bus and
avahi-daemon stand for the build machine's side (169.254.77.1; the board
is 169.254.77.2). Everything started here ends with `stop`, or with the
command that started it when that was `test` or `powercut`.
Exit status: 0 all passed, 1 a failure, 2 usage, 77 no image can be had."""

# What scripts/board needs on the build machine, besides what
# files/ensure-host-packages.sh adds for the link's side.
HOST_PACKAGES = ["mmdebstrap", "qemu-system-arm", "qemu-user-static",
                 "qemu-utils", "e2fsprogs", "openssh-client", "dpkg-dev",
                 "apt", "util-linux", "iproute2"]
# Power cuts in every test run; `scripts/board powercut N` makes more.
CI_CUTS = 3
# The first Debian release whose own programs set a clock past 2038 on
# armhf (64-bit time_t): `test` checks the service there.
PAST_2038_FROM = 13
LOCKED = {"base", "image", "boot", "test", "powercut", "soak", "upgrade",
          "y2038", "release-upgrade", "crash"}


def preflight(extra: tuple[str, ...] = ()) -> None:
    if os.geteuid() != 0:
        raise BoardError("run as root (namespaces, tap devices, mounts)")
    try:
        if not stat.S_ISCHR(os.stat("/dev/net/tun").st_mode):
            raise OSError
    except OSError:
        raise Skipped("no /dev/net/tun here: the board's link cannot be made")
    wanted = HOST_PACKAGES + list(extra)
    if run(["bash", str(FILES / "ensure-host-packages.sh"), *wanted],
           check=False, stdout=sys.stderr,
           timeout=HOST_APT_LIMIT_S).returncode:
        raise Skipped("cannot install what the board needs here: "
                      + " ".join(wanted))


def make_image(paths: Paths, report: Report, power: Power,
               also: tuple[str, ...] = ()) -> None:
    if power.is_on():
        raise BoardError(f"a board is running from {paths.run} "
                         "(scripts/board stop)")
    clock = Stopwatch()
    base = image.base_image(paths)
    report.phase("base-image", clock.seconds())
    clock = Stopwatch()
    image.run_image(paths, base, also)
    report.phase("run-image", clock.seconds())


def boot_and_install(paths: Paths, board: Board, report: Report,
                     outlives: bool = False,
                     also: tuple[str, ...] = ()) -> None:
    """Image, power on, wait for ssh, install the packages with the board's
    apt, check the installation. The repository also serves the packages
    of the releases also."""
    make_image(paths, report, board.power, also)
    clock = Stopwatch()
    board.power.on(outlives)
    if not board.wait_ssh(BOOT_SSH_LIMIT_S):
        console = paths.run / "console.log"
        sys.stderr.write("".join(console.read_text(errors="replace")
                                 .splitlines(True)[-30:]))
        raise BoardError("the board did not answer on ssh within "
                         f"{BOOT_SSH_LIMIT_S} s (console: {console})")
    report.phase("boot-to-ssh", clock.seconds())
    clock = Stopwatch()
    checks.install_packages(paths, board)
    report.phase("install", clock.seconds())
    checks.check_installed(paths, board, report)


def finish(paths: Paths, report: Report, command: str,
           total: Stopwatch) -> int:
    report.phases.append(("total", f"{total.seconds():.1f}"))
    report.write_figures(paths.board_dir, command, paths.root)
    return 0 if report.summary() else 1


def cmd_test(paths: Paths, board: Board) -> int:
    total = Stopwatch()
    report = Report()
    try:
        next_dir = upgrade.next_packages(paths,
                                         upgrade.upcoming_version(paths))
        report.phase("next-packages", total.seconds())
        preflight()
        boot_and_install(paths, board, report)
        checks.run_all(paths, board, report)
        clock = Stopwatch()
        fail_on_error(report, "updates", lambda: upgrade.run_updates(
            paths, board, report, next_dir, expected_entry(board)))
        report.phase("updates", clock.seconds())
        clock = Stopwatch()
        powercut.run_in_test(board, report, powercut.Options(cuts=CI_CUTS))
        report.phase("power-cuts", clock.seconds())
        if paths.release.number >= PAST_2038_FROM:
            clock = Stopwatch()
            fail_on_error(report, "past-2038", lambda: past2038.run_in_test(
                board, report, expected_entry(board)))
            report.phase("past-2038", clock.seconds())
        board.ssh(["systemctl", "stop", SERVICE], check=False)
        board.power_off()
    finally:
        board.link.tear_down()
    return finish(paths, report, "test", total)


def on_fresh_board(paths: Paths, board: Board, command: str, phase: str,
                   body: Callable[[Report], None]) -> int:
    """Image, boot, the service enabled and started, body, power off."""
    total = Stopwatch()
    report = Report()
    try:
        preflight()
        boot_and_install(paths, board, report)
        checks.check_enable_now(board, report)
        clock = Stopwatch()
        body(report)
        report.phase(phase, clock.seconds())
        board.power_off()
    finally:
        board.link.tear_down()
    return finish(paths, report, command, total)


def cmd_powercut(paths: Paths, board: Board, options: powercut.Options) -> int:
    return on_fresh_board(
        paths, board, "powercut", "power-cuts",
        lambda report: powercut.run_in_test(board, report, options))


def cmd_soak(paths: Paths, board: Board, minutes: float) -> int:
    def body(report: Report) -> None:
        fail_on_error(report, "soak", lambda: soak.run(
            soak.board_target(board, SERVICE, CONFIG), minutes, report,
            paths.board_dir / "soak",
            f"vantor-sample on the emulated board, {minutes:g} min"))
        board.ssh(["systemctl", "stop", SERVICE], check=False)

    return on_fresh_board(paths, board, "soak", "soak", body)


def cmd_upgrade(paths: Paths, board: Board, args: list[str]) -> int:
    parser = argparse.ArgumentParser(prog="scripts/board upgrade",
                                     add_help=False)
    parser.add_argument("--cuts", type=int, default=0)
    parser.add_argument("--seed", type=int)
    try:
        options = parser.parse_args(args)
    except SystemExit:
        raise Usage
    next_dir = upgrade.next_packages(paths, upgrade.upcoming_version(paths))

    def body(report: Report) -> None:
        upgrade.run_updates(paths, board, report, next_dir,
                            expected_entry(board), options.cuts,
                            options.seed)
        board.ssh(["systemctl", "stop", SERVICE], check=False)

    return on_fresh_board(paths, board, "upgrade", "updates", body)


def cmd_y2038(paths: Paths, board: Board) -> int:
    """The board booted with its clock in 2040 after an installation at
    today's date, the service enabled and muted."""
    def body(report: Report) -> None:
        entry = expected_entry(board)
        if board.out(["vantor-state", "--config", CONFIG, "mic"],
                     check=False) != "off":
            mic_change(board, "off")
        board.power_off()
        board.power.on(rtc_base=past2038.RTC_BASE)
        found = past2038.run_booted(
            board, report, entry,
            str(paths.board_dir / f"y2038-{paths.suite}.txt"))
        if found is None:
            console = (paths.run / "console.log").read_text(errors="replace")
            (paths.board_dir / f"y2038-{paths.suite}-console.log"
             ).write_text(console)
            sys.stderr.write("".join(console.splitlines(True)[-30:]))

    return on_fresh_board(paths, board, "y2038", "y2038", body)


def cmd_release_upgrade(paths: Paths) -> int:
    """From the release before the newest to the newest, on a board of
    its own (--suite is not taken)."""
    older, newer = sorted(releases.RELEASES.values(),
                          key=lambda r: r.number)[-2:]
    paths = dataclasses.replace(paths, suite=older.suite)
    board = Board(paths)
    total = Stopwatch()
    report = Report()
    cache = proxy.AptProxy(paths, board.link)
    try:
        preflight(tuple(proxy.PACKAGES))
        boot_and_install(paths, board, report, also=(newer.suite,))
        checks.check_enable_now(board, report)
        cache.start([uri for uri in release.debian_uris(older.suite)
                     if uri])
        clock = Stopwatch()
        fail_on_error(report, "release-upgrade", lambda: release.run(
            paths, board, report, cache, expected_entry(board)))
        report.phase("release-upgrade", clock.seconds())
        board.power_off()
    finally:
        cache.stop()
        board.link.tear_down()
    return finish(paths, report, "release-upgrade", total)


def cmd_crash(paths: Paths, board: Board) -> int:
    return on_fresh_board(
        paths, board, "crash", "crash",
        lambda report: crash.run(board, report, expected_entry(board).name))


def cmd_boot(paths: Paths, board: Board) -> int:
    report = Report()
    try:
        preflight()
        boot_and_install(paths, board, report, outlives=True)
    except BaseException:
        board.link.tear_down()
        raise
    note("the board runs: scripts/board ssh [COMMAND], scripts/board stop")
    return 0


@dataclasses.dataclass(frozen=True)
class Command:
    name: str
    build: Path | None  # --build DIR, resolved.
    suite: str  # --suite, BOARD_SUITE or the default.
    args: list[str]


def parse(argv: list[str]) -> Command:
    """The command, --build DIR and --suite SUITE (anywhere, the command's
    own arguments after `ssh` excepted) and the other arguments."""
    options: dict[str, str] = {}
    words: list[str] = []
    rest = list(argv)
    while rest:
        word = rest.pop(0)
        if words[:1] in (["ssh"], ["shell"]):
            words.append(word)
            continue
        name, equals, value = word.partition("=")
        if name in ("--build", "--suite"):
            if not equals:
                if not rest:
                    raise Usage
                value = rest.pop(0)
            options[name] = value
        else:
            words.append(word)
    if not words:
        raise Usage
    build = options.get("--build")
    if build is not None and not Path(build).is_dir():
        raise BoardError(f"--build {build}: no such folder")
    return Command(words[0], Path(build).resolve() if build else None,
                   board_suite(options.get("--suite")), words[1:])


def powercut_options(args: list[str]) -> powercut.Options:
    parser = argparse.ArgumentParser(prog="scripts/board powercut",
                                     add_help=False)
    parser.add_argument("cuts", type=int, nargs="?", default=20)
    parser.add_argument("--seed", type=int)
    parser.add_argument("--min-s", type=float, default=2)
    parser.add_argument("--max-s", type=float, default=20)
    parser.add_argument("--tool", default=powercut.TOOL)
    parser.add_argument("--compare-tool")
    try:
        parsed = parser.parse_args(args)
    except SystemExit:
        raise Usage
    return powercut.Options(**vars(parsed))


def dispatch(command: str, paths: Paths, args: list[str]) -> int:
    link = Link(paths)
    power = Power(paths, link)
    board = Board(paths, link, power)
    if command == "base":
        preflight()
        image.base_image(paths)
    elif command == "image":
        preflight()
        make_image(paths, Report(), power)
    elif command == "boot":
        return cmd_boot(paths, board)
    elif command == "test":
        return cmd_test(paths, board)
    elif command == "powercut":
        return cmd_powercut(paths, board, powercut_options(args))
    elif command == "soak":
        try:
            minutes = float(args[0]) if args else 60.0
        except ValueError:
            raise Usage
        return cmd_soak(paths, board, minutes)
    elif command == "upgrade":
        return cmd_upgrade(paths, board, args)
    elif command == "y2038":
        return cmd_y2038(paths, board)
    elif command == "release-upgrade":
        return cmd_release_upgrade(paths)
    elif command == "crash":
        return cmd_crash(paths, board)
    elif command == "power-on":
        power.on(outlives=True)
    elif command == "cut":
        power.cut()
    elif command in ("ssh", "shell"):
        # As ssh joins its words: the board's shell reads them.
        return board.interactive(" ".join(args) if args else None,
                                 tty=not args and sys.stdin.isatty())
    elif command == "browse":
        return run(link.argv(["avahi-browse", "-rpt", SERVICE_TYPE]),
                   check=False,
                   timeout=LOOK_LIMIT_S + LINK_SLACK_S).returncode
    elif command == "stop":
        board.power_off()
    elif command == "status":
        print(f"board: {'running' if power.is_on() else 'not running'}")
    else:
        raise Usage
    return 0


@contextlib.contextmanager
def locked(paths: Paths, command: str) -> Iterator[None]:
    """One command at a time that changes a board folder."""
    if command not in LOCKED:
        yield
        return
    paths.board_dir.mkdir(parents=True, exist_ok=True)
    with open(paths.board_dir / "lock", "w") as lock:
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError:
            raise BoardError(f"another scripts/board {command} uses "
                             f"{paths.board_dir}")
        yield


def main(argv: list[str]) -> int:
    # A test's time-out ends this process with SIGTERM: the board goes too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        command = parse(argv)
        paths = Paths.from_environment(command.build, command.suite)
        with locked(paths, command.name):
            return dispatch(command.name, paths, command.args)
    except Usage:
        print(USAGE)
        return EXIT_USAGE
    except Skipped as e:
        print(f"board: SKIPPED: {e}", file=sys.stderr)
        return EXIT_SKIPPED
    except BoardError as e:
        print(f"board: {e}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
