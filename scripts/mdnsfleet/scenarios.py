# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The run: the fleet starts, rests while its cost is measured, then goes
through the scenarios, each followed by a wait until it settles and a look
at who is called what."""

from __future__ import annotations

import dataclasses
import signal
import subprocess
import time
from typing import Callable

from . import judge, usage
from .fleet import OBSERVER_NODE, Device, Fleet, HarnessError, run
from .report import Report

POLL_S = 0.25
# A stopped daemon stays away this long, as one that crashed and was
# restarted by its supervisor would.
DAEMON_AWAY_S = 2.0
# A sample that ended is started again once the observers saw it go, or
# after this long: its return is not to be mistaken for its old record.
GOODBYE_S = 5.0

SCENARIOS = {"a": "daemon-restart", "b": "sample-restart",
             "c": "rolling-restart", "d": "cable-pull"}


@dataclasses.dataclass(frozen=True)
class Options:
    bound_s: float
    quiet_s: float
    steady_s: float
    cable_s: float
    scenarios: list[str]


@dataclasses.dataclass(frozen=True)
class Settled:
    settled: bool
    settle_s: float
    views: dict[str, dict[str, str | None]]
    checks: list[judge.NameCheck]
    why: str = ""


def all_seen(fleet: Fleet, views: dict[str, dict[str, str | None]]) -> bool:
    """Every observer resolves every device, under N names in all."""
    ids = fleet.ids
    return all(judge.seen_all(view, ids)
               and judge.distinct_names(view, ids) == len(ids)
               for view in views.values())


def settle(fleet: Fleet, options: Options) -> Settled:
    """Waits until every observer sees the N devices, each under the name
    its log gives, and nothing changed for quiet_s; or until a settled
    state could no longer begin within bound_s."""
    start = time.monotonic()
    settler = judge.Settler(start, options.quiet_s)
    while True:
        views = fleet.views()
        checks = fleet.checks(views)
        ok = all_seen(fleet, views) and all(c.agree for c in checks)
        state = (tuple((o, tuple(sorted(v.items())))
                       for o, v in views.items()),
                 tuple((c.advertised, c.shown) for c in checks))
        now = time.monotonic()
        if settler.update(now, ok, state):
            return Settled(True, settler.settle_s, views, checks)
        if now - start >= options.bound_s + options.quiet_s:
            why = judge.shortfalls(fleet.ids, views, checks)
            return Settled(False, now - start, views, checks,
                           "; ".join(why) or "still changing")
        time.sleep(POLL_S)


def start_fleet(fleet: Fleet, options: Options, report: Report) -> None:
    for device in fleet.devices:
        fleet.start(device)
    last_start = time.monotonic()
    seen_at: dict[str, float] = {}
    while len(seen_at) < len(fleet.observers):
        now = time.monotonic()
        views = fleet.views()
        for observer, view in views.items():
            if observer not in seen_at and judge.seen_all(view, fleet.ids):
                seen_at[observer] = now - last_start
        if now - last_start >= options.bound_s:
            break
        time.sleep(POLL_S)
    n = len(fleet.devices)
    for observer, view in fleet.views().items():
        report.figure(f"start: {observer} sees all {n} after",
                      seen_at.get(observer), "s")
        report.figure(f"start: {observer} resolves devices",
                      sum(1 for i in fleet.ids
                          if judge.observed_name(view, i) is not None))
        report.figure(f"start: {observer} sees names",
                      judge.distinct_names(view, fleet.ids))
    missing = [o.name for o in fleet.observers if o.name not in seen_at]
    report.check(f"all {n} seen within {options.bound_s:g} s",
                 not missing,
                 f"after {max(seen_at.values()):.2f} s" if not missing
                 else f"not by {', '.join(missing)}")
    began = time.monotonic()
    settled = settle(fleet, options)
    report.figure("start: settled", settled.settled)
    report.figure("start: settled after the last start",
                  began - last_start + settled.settle_s, "s")
    if not settled.settled:
        report.say(f"start: not settled: {settled.why}")
    report.name_table("start", settled.checks)


def daemon_ticks(node_of_netns: dict[str, str]) -> dict[str, dict[int, int]]:
    """Node -> its avahi-daemon's pid -> CPU ticks."""
    ticks: dict[str, dict[int, int]] = {}
    for pid in usage.processes_named("avahi-daemon"):
        node = node_of_netns.get(usage.netns_of(pid) or "")
        t = usage.read_ticks(pid)
        if node and t is not None:
            ticks.setdefault(node, {})[pid] = t
    return ticks


def link_rx() -> dict[str, int]:
    return usage.rx_packets(run(["ip", "-s", "-j", "link", "show"]))


def measure_steady(fleet: Fleet, options: Options, report: Report,
                   tcpdump: bool) -> None:
    fleet.finish_looks()
    nodes = [d.node for d in fleet.devices] + [OBSERVER_NODE]
    node_of_netns = {fleet.link.netns(node): node for node in nodes}
    samples = [d.process.pid for d in fleet.devices if d.process]
    hz = usage.clock_hz()
    capture = None
    if tcpdump:
        capture = subprocess.Popen(
            ["tcpdump", "-i", "lan", "-n", "-q", "-w", "/dev/null",
             "udp port 5353"], stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    rx_before = link_rx()
    samples_before = {p: usage.read_ticks(p) or 0 for p in samples}
    daemons_before = daemon_ticks(node_of_netns)
    start = time.monotonic()
    time.sleep(options.steady_s)
    wall_s = time.monotonic() - start
    samples_after = {p: t for p in samples
                     if (t := usage.read_ticks(p)) is not None}
    daemons_after = daemon_ticks(node_of_netns)
    rx_after = link_rx()
    n = len(fleet.devices)
    report.figure("steady: seconds measured", wall_s, "s")
    if capture is not None:
        capture.send_signal(signal.SIGINT)
        try:
            _, err = capture.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            capture.kill()
            _, err = capture.communicate(timeout=5)
        count = usage.captured(err)
        # The capture ran a little longer than wall_s: a slight overcount.
        report.figure("steady: mDNS packets per s",
                      None if count is None else usage.per_s(count, wall_s))
    else:
        report.figure("steady: mDNS packets per s", None)
    sent = {node: rx_after.get(node, 0) - rx_before.get(node, 0)
            for node in nodes}
    report.figure("steady: frames per s sent by the devices",
                  usage.per_s(sum(sent[d.node] for d in fleet.devices),
                              wall_s))
    report.figure("steady: frames per s sent by the observer node",
                  usage.per_s(sent[OBSERVER_NODE], wall_s))
    cpu = usage.cpu_s_per_min(samples_before, samples_after, wall_s, hz)
    report.figure("steady: CPU s per min, all samples", cpu, "s")
    report.figure("steady: CPU s per min, per sample", cpu / n, "s")
    device_daemons = [d.node for d in fleet.devices]
    before: dict[int, int] = {}
    after: dict[int, int] = {}
    for node in device_daemons:
        before.update(daemons_before.get(node, {}))
        after.update(daemons_after.get(node, {}))
    report.figure("steady: CPU s per min, the devices' avahi-daemons",
                  usage.cpu_s_per_min(before, after, wall_s, hz), "s")
    report.figure("steady: CPU s per min, the observer's avahi-daemon",
                  usage.cpu_s_per_min(daemons_before.get(OBSERVER_NODE, {}),
                                      daemons_after.get(OBSERVER_NODE, {}),
                                      wall_s, hz), "s")


def run_scenario(fleet: Fleet, options: Options, report: Report, name: str,
                 target: str, action: Callable[[], None]) -> None:
    report.say(f"{name} ({target})")
    before = fleet.observed(fleet.views())
    action()
    settled = settle(fleet, options)
    after = fleet.observed(settled.views)
    changed = {observer: rs for observer in before
               if (rs := judge.renames(before[observer], after[observer]))}
    report.scenario(name, target, settled.settled, settled.settle_s, changed,
                    settled.why)
    report.name_table(name, settled.checks)


def restart(fleet: Fleet, device: Device) -> str | None:
    """Stops and starts the device's sample: what went wrong with the
    stop, if anything."""
    status = device.stop()
    start = time.monotonic()
    while seen_anywhere(fleet, device) and \
            time.monotonic() - start < GOODBYE_S:
        time.sleep(POLL_S)
    fleet.start(device)
    if status is None:
        return f"{device.node} killed after no exit"
    return f"{device.node} exit status {status}" if status else None


def check_exits(report: Report, name: str, faults: list[str | None]) -> None:
    bad = [f for f in faults if f]
    report.check(f"{name}: samples exit at the end of their input", not bad,
                 "; ".join(bad) or f"{len(faults)} exited with status 0")


def seen_anywhere(fleet: Fleet, device: Device) -> bool:
    return any(judge.observed_name(view, device.device_id) is not None
               for view in fleet.views().values())


def back(fleet: Fleet, device: Device) -> bool:
    """The device claims a name and every observer resolves it."""
    if device.log().advertised is None:
        return False
    return all(judge.observed_name(view, device.device_id) is not None
               for view in fleet.views().values())


def rolling(fleet: Fleet, options: Options, report: Report) -> None:
    took = []
    faults = []
    for device in fleet.devices:
        faults.append(restart(fleet, device))
        start = time.monotonic()
        while not back(fleet, device):
            if time.monotonic() - start >= options.bound_s:
                report.say(f"{device.node} not back within "
                           f"{options.bound_s:g} s; going on")
                break
            time.sleep(POLL_S)
        took.append(time.monotonic() - start)
    check_exits(report, "rolling-restart", faults)
    report.figure("rolling-restart: longest time back", max(took), "s")
    report.figure("rolling-restart: mean time back", sum(took) / len(took),
                  "s")


def cable_pull(fleet: Fleet, options: Options, node: str) -> None:
    fleet.link.cable(node, False)
    time.sleep(options.cable_s)
    fleet.link.cable(node, True)


def daemon_restart(fleet: Fleet, node: str) -> None:
    fleet.link.daemon(node, False)
    time.sleep(DAEMON_AWAY_S)
    fleet.link.daemon(node, True)


def run_all(fleet: Fleet, options: Options, report: Report,
            tcpdump: bool) -> None:
    if not fleet.devices:
        raise HarnessError("no devices")
    start_fleet(fleet, options, report)
    measure_steady(fleet, options, report, tcpdump)
    devices = fleet.devices
    first, second, last = devices[0], devices[1 % len(devices)], devices[-1]
    actions: dict[str, tuple[str, Callable[[], None]]] = {
        "daemon-restart": (first.node,
                           lambda: daemon_restart(fleet, first.node)),
        "sample-restart": (second.node, lambda: check_exits(
            report, "sample-restart", [restart(fleet, second)])),
        "rolling-restart": ("all", lambda: rolling(fleet, options, report)),
        "cable-pull": (last.node,
                       lambda: cable_pull(fleet, options, last.node)),
    }
    for name in options.scenarios:
        target, action = actions[name]
        run_scenario(fleet, options, report, name, target, action)
