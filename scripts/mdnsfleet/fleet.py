# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The fleet's processes on the link that scripts/mdns-link makes: a sample
per device node, the observers on their own node, and what they say."""

from __future__ import annotations

import dataclasses
import json
import os
import shlex
import signal
import subprocess
import time
from pathlib import Path

from . import browse, judge, loglines

SCRIPTS = Path(__file__).resolve().parents[1]
LINK = SCRIPTS / "mdns-link"
OBSERVER_NODE = "obs"
# A sample given the end of its input has this long to withdraw and exit.
EXIT_S = 20
COMMAND_S = 30
# How often a fresh look is begun while the observers are read, and how
# long one may take.
LOOK_EVERY_S = 2.0
LOOK_LIMIT_S = 20.0


class HarnessError(Exception):
    """The harness itself could not go on (not a finding about devices)."""


def run(argv: list[str], timeout: float = COMMAND_S) -> str:
    try:
        result = subprocess.run(argv, stdin=subprocess.DEVNULL,
                                capture_output=True, text=True,
                                timeout=timeout)
    except subprocess.TimeoutExpired as e:
        raise HarnessError(f"{shlex.join(argv)}: no end in {timeout} s") from e
    if result.returncode:
        raise HarnessError(f"{shlex.join(argv)}: exit {result.returncode}: "
                           f"{result.stderr.strip()}")
    return result.stdout


def device_node(index: int) -> str:
    return f"dev{index}"


class Link:
    """scripts/mdns-link's commands for the nodes of the running link."""

    def exec_argv(self, node: str, argv: list[str]) -> list[str]:
        return [str(LINK), "exec", node, *argv]

    def cable(self, node: str, up: bool) -> None:
        run([str(LINK), "cable", node, "up" if up else "down"])

    def daemon(self, node: str, start: bool) -> None:
        run([str(LINK), "daemon", node, "start" if start else "stop"])

    def netns(self, node: str) -> str:
        argv = self.exec_argv(node, ["readlink", "/proc/self/ns/net"])
        return run(argv).strip()


def stop_process(process: subprocess.Popen, timeout: float) -> int | None:
    """Waits for the process, then ends it; None when it had to be ended."""
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        pass
    for sig, grace in ((signal.SIGTERM, 5.0), (signal.SIGKILL, 5.0)):
        process.send_signal(sig)
        try:
            process.wait(grace)
            return None
        except subprocess.TimeoutExpired:
            continue
    return None


@dataclasses.dataclass
class Device:
    node: str
    device_id: str
    folder: Path  # Its XDG_CONFIG_HOME: the host's data, kept across starts.
    process: subprocess.Popen | None = None
    starts: int = 0
    _input: int | None = None

    @property
    def log_path(self) -> Path:
        return self.folder / "log"

    def start(self, link: Link, sample: Path, plugins: Path,
              service_type: str, name: str) -> None:
        self.folder.mkdir(parents=True, exist_ok=True)
        config = self.folder / "config.json"
        config.write_text(json.dumps({
            "platform_config": {},
            "vantor_host": {"mdns_service_type": service_type,
                            "mdns_instance_name": name,
                            "device_id": self.device_id}}) + "\n")
        fifo = self.folder / "in"
        if not fifo.exists():
            os.mkfifo(fifo)
        # Held here only (not inherited), so that closing it ends the input.
        self._input = os.open(fifo, os.O_RDWR)
        reader = os.open(fifo, os.O_RDONLY)
        self.starts += 1
        with self.log_path.open("a") as log:
            log.write(f"{loglines.START_MARKER} {self.starts} "
                      f"{time.strftime('%H:%M:%S')}\n")
            log.flush()
            env = dict(os.environ, XDG_CONFIG_HOME=str(self.folder),
                       VANTOR_PLUGIN_DIR=str(plugins))
            self.process = subprocess.Popen(
                link.exec_argv(self.node, [str(sample), str(config)]),
                stdin=reader, stdout=log, stderr=subprocess.STDOUT, env=env)
        os.close(reader)

    def stop(self) -> int | None:
        """Ends the input and waits for the exit: its status, or None
        when the sample had to be killed."""
        if self._input is not None:
            os.close(self._input)
            self._input = None
        if self.process is None:
            return None
        status = stop_process(self.process, EXIT_S)
        self.process = None
        return status

    def log(self) -> loglines.DeviceLog:
        try:
            return loglines.read_log(self.log_path.read_text(errors="replace"))
        except FileNotFoundError:
            return loglines.DeviceLog()


@dataclasses.dataclass
class Looks:
    """One-shot looks (avahi-browse -t) beside a continuous browser, begun
    only while someone reads the view, so none runs while the link's quiet
    traffic is counted."""
    argv: list[str]
    path: Path
    process: subprocess.Popen | None = None
    started: float = -LOOK_EVERY_S
    lines_at_start: int = 0
    text: str = ""  # The last finished look,
    since_line: int = 0  # begun when the browser's log had this many lines.

    def latest(self, lines_now: int) -> tuple[str, int]:
        now = time.monotonic()
        if self.process is not None:
            if self.process.poll() is not None:
                self.text = self.path.read_text(errors="replace")
                self.since_line = self.lines_at_start
                self.process = None
            elif now - self.started > LOOK_LIMIT_S:
                self.stop()
        if self.process is None and now - self.started >= LOOK_EVERY_S:
            with self.path.open("w") as out:
                self.process = subprocess.Popen(
                    self.argv, stdin=subprocess.DEVNULL, stdout=out,
                    stderr=subprocess.DEVNULL)
            self.started = now
            self.lines_at_start = lines_now
        return self.text, self.since_line

    def finish(self) -> None:
        """Lets a look under way end, so that the link goes quiet."""
        if self.process is not None:
            stop_process(self.process, LOOK_LIMIT_S)
            self.process = None

    def stop(self) -> None:
        if self.process is not None:
            self.process.kill()
            stop_process(self.process, 5)
            self.process = None


@dataclasses.dataclass
class Observer:
    name: str
    log_path: Path
    process: subprocess.Popen
    looks: Looks | None = None

    def view(self, service_type: str) -> dict[str, str | None]:
        try:
            text = self.log_path.read_text(errors="replace")
        except FileNotFoundError:
            text = ""
        if self.looks is None:
            return browse.view_of(text, service_type)
        look, since_line = self.looks.latest(text.count("\n"))
        return browse.refreshed(text, look, since_line, service_type)


def start_observer(link: Link, name: str, argv: list[str], folder: Path,
                   env: dict[str, str] | None = None) -> Observer:
    folder.mkdir(parents=True, exist_ok=True)
    log_path = folder / f"{name}.log"
    with log_path.open("w") as out, \
            (folder / f"{name}.err").open("w") as err:
        process = subprocess.Popen(link.exec_argv(OBSERVER_NODE, argv),
                                   stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=err, env=env)
    return Observer(name, log_path, process)


def avahi_observer(link: Link, service_type: str, folder: Path) -> Observer:
    observer = start_observer(link, "avahi-browse",
                              ["avahi-browse", "-rpk", service_type], folder)
    observer.looks = Looks(
        link.exec_argv(OBSERVER_NODE,
                       ["avahi-browse", "-rpkt", service_type]),
        folder / "avahi-browse-look.log")
    return observer


def zeroconf_observer(link: Link, python: str, service_type: str,
                      folder: Path) -> Observer:
    env = dict(os.environ, PYTHONPATH=str(SCRIPTS),
               PYTHONDONTWRITEBYTECODE="1")
    return start_observer(
        link, "zeroconf",
        [python, "-m", "mdnsfleet.zeroconf_observer", service_type],
        folder, env)


@dataclasses.dataclass
class Fleet:
    link: Link
    devices: list[Device]
    observers: list[Observer]
    sample: Path
    plugins: Path
    service_type: str
    name: str

    @property
    def ids(self) -> list[str]:
        return [d.device_id for d in self.devices]

    def start(self, device: Device) -> None:
        device.start(self.link, self.sample, self.plugins, self.service_type,
                     self.name)

    def views(self) -> dict[str, dict[str, str | None]]:
        return {o.name: o.view(self.service_type) for o in self.observers}

    def checks(self, views: dict[str, dict[str, str | None]]
               ) -> list[judge.NameCheck]:
        rows = []
        for device in self.devices:
            log = device.log()
            rows.append((device.node, device.device_id, log.advertised,
                         log.shown, log.failures))
        return judge.check_names(rows, views)

    def observed(self, views: dict[str, dict[str, str | None]]
                 ) -> dict[str, dict[str, str | None]]:
        """Observer -> device id -> name it resolves."""
        return {observer: {i: judge.observed_name(view, i) for i in self.ids}
                for observer, view in views.items()}

    def finish_looks(self) -> None:
        for observer in self.observers:
            if observer.looks is not None:
                observer.looks.finish()

    def stop(self) -> None:
        for device in self.devices:
            device.stop()
        for observer in self.observers:
            if observer.looks is not None:
                observer.looks.stop()
            observer.process.terminate()
            stop_process(observer.process, 5)
