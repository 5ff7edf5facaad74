# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The checks and figures of `scripts/board test`, on a board that runs
with the packages installed. One function per check or group of checks
that share what they looked at; each reports to the Report it is given."""

from __future__ import annotations

import re
import sys

from . import parse, supervision
from .clock import Stopwatch
from .common import CONFIG, SERVICE, BoardError, Paths, note
from .image import installed_names
from .limits import (APT_LIMIT_S, BOOT_LINK_LIMIT_S, BROWSE_LIMIT_S,
                     MAX_EXPOSURE, SSH_AFTER_BOOT_LIMIT_S,
                     START_ADVERTISED_LIMIT_S, WATCH_SLACK_S)
from .observe import (board_sees, board_stops_listing, expected_entry,
                      is_active, journal, journal_cursor, link_sees,
                      main_pid, mic_change, wait_journal)
from .remote import Board
from .results import Outcome, Report, fail_on_error

MUTE_RENAMES = 40
MUTE_INTERVAL_MS = 300
IDLE_S = 60


def install_packages(paths: Paths, board: Board) -> None:
    names = installed_names(paths)
    log = paths.run / "install.log"
    result = board.script("install-packages.sh", *names, check=False,
                          merge_stderr=True, timeout=APT_LIMIT_S)
    log.write_text(result.stdout)
    if result.returncode:
        sys.stderr.write("".join(result.stdout.splitlines(True)[-30:]))
        raise BoardError(f"apt on the board did not install {' '.join(names)}"
                         f" (log: {log})")


def check_installed(paths: Paths, board: Board, report: Report) -> None:
    names = installed_names(paths)
    listed = board.ssh(["dpkg-query", "-W", "-f",
                        "${Package}=${Version}=${db:Status-Abbrev}\\n",
                        *names], check=False, merge_stderr=True).stdout
    packages = " ".join(listed.split("\n"))
    report.check("packages-installed",
                 len(re.findall(r"=ii ", packages)) == len(names), packages)
    # On a merged-/usr system systemd and dpkg may name the file by either
    # path: dpkg knows it by the one its package installed.
    unit = board.out(["systemctl", "show", "-P", "FragmentPath", SERVICE],
                     check=False) or "/no/unit"
    owners = board.ssh(["dpkg-query", "-S", unit], check=False)
    if owners.returncode:
        real = board.out(["readlink", "-f", unit], check=False)
        owners = board.ssh(["dpkg-query", "-S", real], check=False)
    owner = " ".join(line.partition(":")[0]
                     for line in owners.stdout.splitlines())
    report.check("unit-packaged", owner == "vantor-device-sample",
                 f"{unit} from {owner or 'no package'}")
    conffiles = board.out(["dpkg-query", "-W", "-f", "${Conffiles}",
                           "vantor-device-sample"], check=False)
    report.check("config-conffile",
                 any(line.split()[:1] == [CONFIG]
                     for line in conffiles.splitlines()),
                 f"{CONFIG} is a conffile of vantor-device-sample")
    enabled = board.out(["systemctl", "is-enabled", SERVICE], check=False)
    report.check("unit-not-enabled", enabled == "disabled",
                 f"installed {enabled}")
    active = is_active(board)
    report.check("unit-not-started", active == "inactive",
                 f"installed and {active}")


def check_enable_now(board: Board, report: Report) -> None:
    def enable() -> Outcome:
        status = board.ssh(["systemctl", "enable", "--now", SERVICE],
                           check=False, merge_stderr=True).returncode
        return Outcome(status == 0,
                       f"systemctl enable --now {SERVICE}: status {status}")

    report.timed("enable-now", "", enable)
    active = is_active(board)
    report.check("started", active == "active",
                 f"{SERVICE} is {active} after enable --now")
    report.timed("advertised-after-start", "'Advertised ...: SUCCESS' logged",
                 lambda: wait_journal(board, parse.ADVERTISED,
                                      START_ADVERTISED_LIMIT_S))


# ---- After a power cycle ----------------------------------------------------


def boot_again(board: Board, report: Report, entry: parse.Expected) -> None:
    """Power-on to the advertisement seen across the link, with the service
    enabled as a board would have it."""
    board.power_off()
    clock = Stopwatch()
    board.power.on()
    if link_sees(board, entry, BOOT_LINK_LIMIT_S):
        report.figure("boot_to_advertised_s", str(clock), "s",
                      "power-on -> seen by avahi-browse on the build "
                      "machine's side")
    else:
        report.fail("boot-advertised",
                    f"not seen across the link within {BOOT_LINK_LIMIT_S} s "
                    "of power-on")
    if not board.wait_ssh(SSH_AFTER_BOOT_LIMIT_S):
        raise BoardError("the board did not answer on ssh after the second "
                         "boot")
    report.phase("boot-to-advertised", clock.seconds())
    since_kernel = parse.first_monotonic(
        journal(board, "-b", "-o", "short-monotonic", check=False),
        parse.ADVERTISED)
    if since_kernel:
        report.figure("board_advertised_s", since_kernel, "s",
                      "kernel start -> 'Advertised: SUCCESS' (board's "
                      "monotonic clock)")
    analyze = board.out(["systemd-analyze"], check=False)
    note(analyze.splitlines()[0] if analyze else "")


def check_service_config(board: Board, report: Report) -> None:
    active = is_active(board)
    report.check("started-at-boot", active == "active",
                 f"enabled {SERVICE} is {active} after boot")
    supervision.measure_memory_peak(board, report, "memory_peak_boot_kib",
                                    "started at boot and advertised")
    pid = main_pid(board)
    cmdline = board.out(["cat", f"/proc/{pid}/cmdline"],
                        check=False).replace("\0", " ").strip()
    report.check("runs-installed-config", CONFIG in cmdline,
                 f"main process {pid}: {cmdline}")
    text = journal(board, "-b", "-o", "cat", check=False)
    plugins = sorted(set(re.findall(r"Loaded plug-in (\S+)", text)))
    # dpkg knows each file by its canonical path.
    owners: set[str] = set()
    for plugin in plugins:
        real = board.out(["readlink", "-f", plugin], check=False)
        found = board.out(["dpkg-query", "-S", real], check=False)
        owners.update(line.partition(":")[0] for line in found.splitlines())
    ours = [p for p in plugins
            if re.search(r"libvantor_(network|system)\.so$", p)]
    report.check("plugins-from-package", len(ours) == 2 and bool(owners),
                 f"{','.join(plugins)} (owned by: "
                 f"{' '.join(sorted(owners)) or 'none'})")


def check_advertised(board: Board, report: Report,
                     entry: parse.Expected) -> None:
    report.timed("board-browse", f"avahi-browse on the board: {entry}",
                 lambda: board_sees(board, entry, BROWSE_LIMIT_S))
    report.timed("link-browse",
                 "avahi-browse across the link (build machine's namespace)",
                 lambda: link_sees(board, entry, BROWSE_LIMIT_S))


def check_mic(board: Board, report: Report) -> None:
    """vantor-state mic off/on: the host logs each change exactly once, and
    a word that changes nothing not at all."""
    if board.out(["vantor-state", "--config", CONFIG, "mic"],
                 check=False) == "off":
        mic_change(board, "on")

    def logged_once(word: str, said: str) -> Outcome:
        lines = mic_change(board, word)
        return Outcome(len(lines) == 1 and re.fullmatch(
            rf".*\] Microphone {said}", lines[0]) is not None,
            f"{len(lines)} line(s): {'|'.join(lines)}")

    def nothing_logged() -> Outcome:
        lines = mic_change(board, "off")
        return Outcome(not lines, "nothing logged" + (
            f"; logged: {'|'.join(lines)}" if lines else ""))

    report.timed("mic-off", "", lambda: logged_once("off", "muted"))
    report.timed("mic-off-again", "", nothing_logged)
    report.timed("mic-on", "", lambda: logged_once("on", "unmuted"))


def check_network_words(board: Board, report: Report) -> None:
    """Every word of the connection status written reads back."""
    tool = ["vantor-state", "--config", CONFIG, "network"]
    # The tool names its words when given one it does not know.
    words = parse.usage_words(board.ssh(tool + ["NO_SUCH_WORD"], check=False,
                                        merge_stderr=True).stdout)
    wrong = []
    for word in words:
        written = board.ssh(tool + [word], check=False, merge_stderr=True)
        back = (board.ssh(tool, check=False, merge_stderr=True)
                if written.returncode == 0 else written).stdout.strip()
        if back != word:
            wrong.append(f"{word}->{back}")
    report.check("network-words", bool(words) and not wrong,
                 f"network: {len(words) - len(wrong)} of {len(words)} words "
                 "read back"
                 + (f"; wrong: {' '.join(wrong)}" if wrong else ""))


def measure_process(board: Board, report: Report) -> None:
    pid = main_pid(board)
    if pid in ("", "0"):
        report.fail("process-figures", "the service has no main process")
        return
    status = parse.proc_status(board.out(["cat", f"/proc/{pid}/status"]))
    report.figure("rss_kib", status.get("VmRSS", ""), "KiB",
                  "resident memory of the service")
    report.figure("threads", status.get("Threads", ""), "",
                  "threads of the service")
    # Context switches of every thread over one idle minute.
    total, per_thread = parse.idle_switches(board.script(
        "idle-switches.sh", pid, str(IDLE_S),
        timeout=IDLE_S + WATCH_SLACK_S).stdout)
    report.figure("idle_wakeups_per_min", total, "/min",
                  f"context switches while idle ({per_thread})")


def measure_mute_latency(board: Board, report: Report) -> None:
    """Renames of the mic state file against the journal's time of the
    host's line for each."""
    path = board.out(["vantor-state", "--config", CONFIG, "path", "mic"],
                     check=False)
    out = board.script("mute-latency.sh", path, SERVICE, str(MUTE_RENAMES),
                       str(MUTE_INTERVAL_MS), check=False).stdout
    pairs = parse.pair_renames(out)
    if not pairs.paired:
        report.fail("mute-latency", "renames and log lines do not pair up "
                    f"({pairs.renames} renames, {pairs.lines} lines)")
        return
    n = len(pairs.ms)
    median, p99, most = parse.latency_figures(pairs.ms)
    report.check("mute-latency", True,
                 f"{n} changes, each logged once in order")
    report.figure("mute_latency_median_ms", median, "ms",
                  f"rename -> host log line (journal), n={n}")
    report.figure("mute_latency_p99_ms", p99, "ms", f"(max {most} ms)")


def check_stop(board: Board, report: Report, entry: parse.Expected) -> None:
    was_seen = bool(board_sees(board, entry, BROWSE_LIMIT_S))

    def stop() -> Outcome:
        status = board.ssh(["systemctl", "stop", SERVICE],
                           check=False).returncode
        state = " ".join(board.out(
            ["systemctl", "show", "-p", "ActiveState", "-p", "Result", "-p",
             "ExecMainCode", "-p", "ExecMainStatus", SERVICE],
            check=False).split())
        return Outcome(status == 0 and "ActiveState=inactive" in state
                       and "Result=success" in state,
                       f"systemctl stop: status {status}; {state}")

    report.timed("stop", "", stop)
    path = board.out(["vantor-state", "--config", CONFIG, "path", "mic"],
                     check=False)
    folder = path.rpartition("/")[0] or "."
    listing = board.out(["ls", "-A", folder, "/var/lib/vantor"], check=False)
    stale = [name for name in listing.split()
             if re.search(r"\.tmp(\.|$)", name)]
    report.check("no-stale-temporary", not stale,
                 f"none in {folder} or /var/lib/vantor"
                 + (f": {' '.join(stale)}" if stale else ""))
    if was_seen:
        report.timed("withdrawn", "no longer listed by the board's "
                     "avahi-browse",
                     lambda: board_stops_listing(board, entry, BROWSE_LIMIT_S))
    else:
        report.fail("withdrawn",
                    "not advertised before the stop, nothing to withdraw")


def check_restarted(board: Board, report: Report,
                    entry: parse.Expected) -> None:
    report.timed("start-again", f"systemctl start {SERVICE}",
                 lambda: board.ok(["systemctl", "start", SERVICE]))
    report.timed("advertised-again", "listed by the board's avahi-browse "
                 f"within {BROWSE_LIMIT_S} s",
                 lambda: board_sees(board, entry, BROWSE_LIMIT_S))


def check_avahi_restart(board: Board, report: Report,
                        entry: parse.Expected) -> None:
    cursor = journal_cursor(board)
    clock = Stopwatch()
    report.timed("avahi-restart",
                 "systemctl restart avahi-daemon on the board",
                 lambda: board.ok(["systemctl", "restart", "avahi-daemon"]))
    if board_sees(board, entry, BROWSE_LIMIT_S):
        seconds = str(clock)
        report.check("readvertised", True, f"advertised again {seconds} s "
                     "after systemctl restart avahi-daemon")
        report.figure("readvertised_s", seconds, "s",
                      "systemctl restart avahi-daemon -> listed by the "
                      "board's avahi-browse")
        report.timed("readvertised-link", "seen across the link again",
                     lambda: link_sees(board, entry, BROWSE_LIMIT_S))
    else:
        report.fail("readvertised", f"not listed within {BROWSE_LIMIT_S} s "
                    "of systemctl restart avahi-daemon")
    # The plug-in's and the host's lines about the daemon and what the
    # network shows.
    lines = "\n".join(
        line for line in journal(board, "--after-cursor", cursor, "-o",
                                 "short-monotonic", check=False).splitlines()
        if re.search(r"mdns service instance|mDNS: the network", line))
    note("the plug-in's lines since the restart:"
         + (f"\n{lines}" if lines else "  none"))
    report.check("readvertised-logged",
                 "Re-registered mdns service instance" in lines,
                 "the plug-in logged the loss and the re-registration")
    gap = parse.loss_to_reregistration(lines)
    if gap is not None:
        report.figure("reregistered_after_loss_s", f"{gap:.2f}", "s",
                      "the plug-in's WARNING of the loss -> its Re-registered "
                      "line (journal)")


def check_exposure(board: Board, report: Report) -> None:
    """The sandbox of the installed unit as systemd rates it on the
    board, and the user it runs as."""
    score = parse.exposure_score(board.ssh(
        ["systemd-analyze", "security", SERVICE], check=False).stdout)
    report.check("unit-exposure",
                 score is not None and float(score) <= MAX_EXPOSURE,
                 f"systemd-analyze security: {score or 'no score'} (at most "
                 f"{MAX_EXPOSURE})")
    if score:
        report.figure("unit_exposure", score, "",
                      f"systemd-analyze security {SERVICE} on the board")
    user = board.out(["ps", "-o", "user=", "-p", main_pid(board)], check=False)
    report.check("unprivileged", user == "vantor",
                 f"{SERVICE} runs as {user or 'nobody knows'}")


def run_all(paths: Paths, board: Board, report: Report) -> None:
    """Every check of `scripts/board test` after the installation's, up to
    the power cuts. A check that ends with an error is its failure; the
    others still run."""
    check_enable_now(board, report)
    entry = expected_entry(board)
    boot_again(board, report, entry)
    clock = Stopwatch()
    steps = [
        ("started-at-boot", lambda: check_service_config(board, report)),
        ("board-browse", lambda: check_advertised(board, report, entry)),
        ("mic-off", lambda: check_mic(board, report)),
        ("network-words", lambda: check_network_words(board, report)),
        ("process-figures", lambda: measure_process(board, report)),
        ("mute-latency", lambda: measure_mute_latency(board, report)),
        ("stop", lambda: check_stop(board, report, entry)),
        ("start-again", lambda: check_restarted(board, report, entry)),
        ("avahi-restart", lambda: check_avahi_restart(board, report, entry)),
        ("unit-exposure", lambda: check_exposure(board, report)),
        ("fleet", lambda: supervision.run(board, report, entry)),
    ]
    for name, step in steps:
        fail_on_error(report, name, step)
    report.phase("checks", clock.seconds())
