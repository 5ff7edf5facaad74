# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The soak's load on this machine's build of the sample, inside
scripts/mdns-sandbox with a daemon of its own: `scripts/soak MINUTES`.
There is no link to take down here; the rest is the board's soak."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import IO

from . import runner, soak
from .common import FILES, BoardError
from .results import Report, fail_on_error


def proc_sample(pid: int) -> soak.Sample | None:
    """None once the process is gone."""
    try:
        status = dict(line.split(":", 1) for line in
                      Path(f"/proc/{pid}/status").read_text().splitlines()
                      if ":" in line)
        fds = len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return None
    return soak.Sample(0, int(status["VmRSS"].split()[0]), fds,
                       int(status["Threads"]))


def write_config(work: Path) -> Path:
    """The sample's configuration, its state files in work/state."""
    (work / "state").mkdir()
    config = work / "config.json"
    config.write_text(json.dumps({
        "platform_config": {
            "mic_state_path": str(work / "state" / "mic_state"),
            "connection_status_path": str(work / "state" / "network_state")},
        "vantor_host": {"mdns_instance_name": "Soak"}}))
    return config


def start_sample(build: Path, config: Path, interactions: int,
                 log: IO[str]) -> subprocess.Popen:
    env = dict(os.environ, XDG_CONFIG_HOME=str(config.parent),
               VANTOR_PLUGIN_DIR=str(build / "lib" / "vantor-plugins"))
    return runner.start([str(build / "sample" / "assistant_sample"),
                         str(config)], stdin=interactions, stderr=log, env=env)


def native_target(build: Path, work: Path, sample: subprocess.Popen,
                  daemon: list[str]) -> soak.Target:
    """The sample running here: the load and the samples from /proc."""
    state_tool = f"{build / 'tools' / 'vantor-state'} --config " \
        f"{work / 'config.json'}"

    def start_load(seconds: int) -> subprocess.Popen:
        return runner.start(
            ["bash", str(FILES / "soak-load.sh"), str(seconds)],
            env=dict(os.environ, VANTOR_STATE=state_tool,
                     INTERACTIONS=str(work / "interactions"),
                     REPORTED=f"cat {work / 'sample.log'}"),
            stdout=subprocess.PIPE, text=True)

    def restart_daemon() -> None:
        runner.run(["avahi-daemon", "-k"], check=False)
        time.sleep(1)
        runner.run(daemon + ["start"], check=False)

    return soak.Target(start_load=start_load,
                       sample=lambda: proc_sample(sample.pid),
                       restart_daemon=restart_daemon)


def soak_sample(build: Path, work: Path, daemon: list[str], minutes: float,
                report: Report) -> None:
    """Starts the sample, soaks it, ends it."""
    config = write_config(work)
    fifo = work / "interactions"
    os.mkfifo(fifo)
    # Held open for reading and writing, as the service's unit holds its
    # FIFO: the sample never sees the end of its input.
    held = os.open(fifo, os.O_RDWR)
    try:
        with open(work / "sample.log", "w") as log:
            sample = start_sample(build, config, held, log)
            try:
                time.sleep(2)
                fail_on_error(report, "soak", lambda: soak.run(
                    native_target(build, work, sample, daemon), minutes,
                    report, build / "soak",
                    f"assistant_sample natively, {minutes:g} min"))
                alive = sample.poll() is None
                report.check("soak-alive", alive, "the sample ran to the end"
                             if alive else
                             f"the sample ended: {sample.returncode}")
            finally:
                runner.stop(sample)
    finally:
        os.close(held)


def main(argv: list[str]) -> int:
    if len(argv) > 2 or (argv and not argv[0].replace(".", "").isdigit()):
        print("usage: scripts/soak [MINUTES] [BUILD_DIR]", file=sys.stderr)
        return 2
    minutes = float(argv[0]) if argv else 3.0
    root = Path(__file__).resolve().parents[2]
    build = Path(argv[1]) if len(argv) > 1 else root / "build"
    daemon = [str(root / "scripts" / "mdns-daemon")]
    if os.environ.get("VANTOR_MDNS_SANDBOX") != "1":
        print("soak: run inside scripts/mdns-sandbox", file=sys.stderr)
        return 2
    work = Path(tempfile.mkdtemp(prefix="vantor_soak."))
    report = Report()
    try:
        runner.run(daemon + ["start"])
        try:
            soak_sample(build, work, daemon, minutes, report)
        finally:
            runner.run(daemon + ["stop"], check=False)
    except BoardError as e:
        print(f"soak: {e}", file=sys.stderr)
        return 1
    ok = report.summary()
    if ok:
        shutil.rmtree(work, ignore_errors=True)
    else:
        print(f"soak: the sample's log: {work / 'sample.log'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
