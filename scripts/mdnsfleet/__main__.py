# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/mdns-fleet: the command line, and the way into the link."""

from __future__ import annotations

import argparse
import os
import secrets
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from . import fleet as fleet_module
from .fleet import (LINK, SCRIPTS, Device, Fleet, HarnessError, Link,
                    avahi_observer, device_node, zeroconf_observer)
from .report import Report, note
from .scenarios import SCENARIOS, Options, run_all

EXIT_FAILED = 1
EXIT_SKIPPED = 77
ROOT = SCRIPTS.parent
# The link's addresses run out after this many nodes (scripts/mdns-link),
# one of which is the observer's.
MAX_DEVICES = 244
APT_S = 600
# Observers that die this soon after their start are reported, not used.
OBSERVER_START_S = 2.0

DESCRIPTION = """\
Starts N assistant_sample processes advertising one mDNS name, each on its
own node of a virtual link (scripts/mdns-link: own network namespace, D-Bus
and avahi-daemon), with observers (avahi-browse, and python3-zeroconf where
it can be installed) on another node. Reports how long until the observers
see all N, whether each device's log names it as the observers do, the
link's mDNS packets and the CPU time of samples and daemons at rest, and
then, after each scenario (a daemon-restart, b sample-restart, c
rolling-restart, d cable-pull), the time to settle and who was renamed.
Exit status: 0 when every check holds, 1 otherwise, 77 where no sandbox can
be had. Runs as root."""


def parse_args(argv: list[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(prog="mdns-fleet",
                                     description=DESCRIPTION)
    parser.add_argument("--devices", type=int, default=8, metavar="N")
    parser.add_argument("--bound-s", type=float, default=120.0,
                        help="how long the fleet may take to be seen or to "
                        "settle (default 120)")
    parser.add_argument("--steady-s", type=float, default=60.0,
                        help="how long the cost at rest is measured "
                        "(default 60)")
    parser.add_argument("--quiet-s", type=float, default=5.0,
                        help="settled: nothing changed for this long "
                        "(default 5)")
    parser.add_argument("--cable-s", type=float, default=30.0,
                        help="how long the cable is pulled (default 30)")
    letters = ", ".join(f"{k} {v}" for k, v in SCENARIOS.items())
    parser.add_argument("--scenarios", default="all",
                        help=f"comma-separated names or letters ({letters}),"
                        " none, or all (default)")
    parser.add_argument("--name", default="Kitchen Speaker")
    parser.add_argument("--type", default="_vantorfleet._tcp")
    parser.add_argument("--build", type=Path, default=ROOT / "build",
                        help="the native build tree (default build/)")
    parser.add_argument("--out", type=Path,
                        help="report and logs (default a new /tmp folder)")
    parser.add_argument("--keep", action="store_true",
                        help="leave the devices' folders and all logs")
    parser.add_argument("--inside", action="store_true",
                        help=argparse.SUPPRESS)
    parser.add_argument("--zeroconf-python", default="",
                        help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    if not 1 <= args.devices <= MAX_DEVICES:
        parser.error(f"--devices: 1 to {MAX_DEVICES}")
    if min(args.bound_s, args.steady_s, args.cable_s) <= 0 or \
            args.quiet_s < 0:
        parser.error("times must be positive")
    try:
        args.scenario_list = scenario_list(args.scenarios)
    except ValueError as e:
        parser.error(str(e))
    return args


def scenario_list(text: str) -> list[str]:
    if text == "all":
        return list(SCENARIOS.values())
    if text == "none":
        return []
    names = []
    for word in text.split(","):
        name = SCENARIOS.get(word.strip(), word.strip())
        if name not in SCENARIOS.values():
            raise ValueError(f"no scenario {word!r}")
        names.append(name)
    return names


def command(argv: list[str], timeout: float) -> bool:
    try:
        return subprocess.run(argv, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def installed(package: str) -> bool:
    try:
        status = subprocess.run(
            ["dpkg-query", "-W", "-f=${Status}", package],
            capture_output=True, text=True, timeout=30).stdout
    except (OSError, subprocess.TimeoutExpired):
        return False
    return status == "install ok installed"


def ensure_package(package: str) -> bool:
    """Installs a Debian package the run can do without; False when it
    cannot be had."""
    if installed(package):
        return True
    note(f"installing {package}")
    os.environ["DEBIAN_FRONTEND"] = "noninteractive"
    install = ["apt-get", "install", "-y", "-q", "--no-install-recommends",
               package]
    if command(install, APT_S):
        return True
    return command(["apt-get", "update"], APT_S) and command(install, APT_S)


def zeroconf_python() -> str:
    """An interpreter that has python3-zeroconf, or "" when none has."""
    if not ensure_package("python3-zeroconf"):
        return ""
    for python in dict.fromkeys([sys.executable, "/usr/bin/python3"]):
        if command([python, "-c", "import zeroconf"], 30):
            return python
    return ""


def outside(args: argparse.Namespace, argv: list[str]) -> int:
    if os.geteuid() != 0:
        note("skipped: the link's namespaces and daemons need root")
        return EXIT_SKIPPED
    for path in (sample_path(args), plugin_dir(args)):
        if not path.exists():
            note(f"no {path}: build the tree first")
            return EXIT_FAILED
    ensure_package("tcpdump")
    python = zeroconf_python()
    out = (args.out or Path(tempfile.mkdtemp(prefix="mdns-fleet.")))
    out = out.resolve()
    out.mkdir(parents=True, exist_ok=True)
    nodes = [device_node(i) for i in range(1, args.devices + 1)]
    inner = [sys.executable, str(SCRIPTS / "mdns-fleet"), *argv, "--inside",
             "--out", str(out), "--zeroconf-python", python]
    try:
        return subprocess.run(
            [str(LINK), "run", *nodes, fleet_module.OBSERVER_NODE, "--",
             *inner], stdin=subprocess.DEVNULL,
            timeout=budget_s(args)).returncode
    except subprocess.TimeoutExpired:
        note(f"no end within {budget_s(args):.0f} s; see {out}")
        return EXIT_FAILED


def budget_s(args: argparse.Namespace) -> float:
    """The longest a whole run can take, with room to spare."""
    wait_s = args.bound_s + args.quiet_s
    per_device = args.bound_s + fleet_module.EXIT_S + 15
    return (15 * (args.devices + 1) + 2 * wait_s + args.steady_s + 15
            + len(args.scenario_list) * (wait_s + 30) + args.cable_s
            + args.devices * per_device + 300)


def sample_path(args: argparse.Namespace) -> Path:
    return (args.build / "sample" / "assistant_sample").resolve()


def plugin_dir(args: argparse.Namespace) -> Path:
    return (args.build / "lib" / "vantor-plugins").resolve()


def binaries(args: argparse.Namespace) -> dict[str, str]:
    """The build's files the run uses -> when each was last written: a
    tree rebuilt under a run mixes two builds' figures."""
    files = [sample_path(args), (args.build / "lib" / "libvantor.so")]
    files += sorted(plugin_dir(args).glob("*.so"))
    stamps = {}
    for path in files:
        try:
            stamps[str(path.resolve())] = time.strftime(
                "%Y-%m-%d %H:%M:%S", time.localtime(path.stat().st_mtime))
        except OSError:
            stamps[str(path)] = "missing"
    return stamps


def start_observers(link: Link, args: argparse.Namespace, folder: Path,
                    report: Report) -> list[fleet_module.Observer]:
    observers = [avahi_observer(link, args.type, folder)]
    if args.zeroconf_python:
        observers.append(zeroconf_observer(link, args.zeroconf_python,
                                           args.type, folder))
    else:
        report.say("no zeroconf observer: python3-zeroconf cannot be "
                   "installed here; going on with avahi-browse alone")
    time.sleep(OBSERVER_START_S)
    running = []
    for observer in observers:
        status = observer.process.poll()
        if status is None:
            running.append(observer)
            continue
        err = (folder / f"{observer.name}.err").read_text().strip()
        if observer.name == "avahi-browse":
            raise HarnessError(f"avahi-browse ended ({status}): {err}")
        report.say(f"no {observer.name} observer: it ended ({status}): "
                   f"{err[-300:]}")
    report.figure("observers", " ".join(o.name for o in running))
    return running


def inside(args: argparse.Namespace) -> int:
    out: Path = args.out
    token = secrets.token_hex(3)
    link = Link()
    parameters = {"devices": args.devices, "name": args.name,
                  "type": args.type, "bound_s": args.bound_s,
                  "steady_s": args.steady_s, "quiet_s": args.quiet_s,
                  "cable_s": args.cable_s,
                  "scenarios": args.scenario_list,
                  "binaries": binaries(args)}
    report = Report(out, parameters)
    report.say(f"{args.devices} devices named '{args.name}' ({args.type}); "
               f"report in {out}")
    devices = [Device(device_node(i), f"kitchen-{i:02d}-{token}",
                      out / "devices" / device_node(i))
               for i in range(1, args.devices + 1)]
    fleet = None
    keep = args.keep
    try:
        observers = start_observers(link, args, out / "observers", report)
        fleet = Fleet(link, devices, observers, sample_path(args),
                      plugin_dir(args), args.type, args.name)
        options = Options(bound_s=args.bound_s, quiet_s=args.quiet_s,
                          steady_s=args.steady_s, cable_s=args.cable_s,
                          scenarios=args.scenario_list)
        run_all(fleet, options, report, shutil.which("tcpdump") is not None)
    except HarnessError as e:
        report.check("harness", False, str(e))
        keep = True
    finally:
        if fleet is not None:
            fleet.stop()
        if binaries(args) != parameters["binaries"]:
            report.say("the build was rewritten during the run: its "
                       "figures may mix two builds")
            report.figure("binaries after the run", binaries(args))
        report.write()
        if not keep:
            for folder in ("devices", "observers"):
                shutil.rmtree(out / folder, ignore_errors=True)
    failed = [c.name for c in report.checks if not c.ok]
    report.say(f"{len(report.checks) - len(failed)} passed, {len(failed)} "
               f"failed" + (f": {'; '.join(failed)}" if failed else ""))
    report.say(f"report: {out}/report.json, figures.tsv, checks.tsv, "
               "names.tsv" + (" (logs kept)" if keep else ""))
    return 0 if report.ok else EXIT_FAILED


def main(argv: list[str]) -> int:
    args = parse_args(argv)
    if args.inside:
        return inside(args)
    return outside(args, argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
