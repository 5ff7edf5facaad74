# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The soak's load on this machine's build of the sample, inside
scripts/mdns-sandbox with a daemon of its own: `scripts/soak MINUTES`.
There is no link to take down here; the rest is the board's soak."""

from __future__ import annotations

import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from . import soak
from .common import FILES
from .results import Report


def proc_sample(pid: int) -> soak.Sample:
    status = dict(line.split(":", 1) for line in
                  Path(f"/proc/{pid}/status").read_text().splitlines()
                  if ":" in line)
    return soak.Sample(0, int(status["VmRSS"].split()[0]),
                       len(os.listdir(f"/proc/{pid}/fd")),
                       int(status["Threads"]))


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
    subprocess.run(daemon + ["start"], check=True)
    work = Path(tempfile.mkdtemp(prefix="vantor_soak."))
    (work / "state").mkdir()
    config = work / "config.json"
    config.write_text(json.dumps({
        "platform_config": {
            "mic_state_path": str(work / "state" / "mic_state"),
            "connection_status_path": str(work / "state" / "network_state")},
        "vantor_host": {"mdns_instance_name": "Soak"}}))
    fifo = work / "interactions"
    os.mkfifo(fifo)
    # Held open for reading and writing, as the service's unit holds its
    # FIFO: the sample never sees the end of its input.
    held = os.open(fifo, os.O_RDWR)
    log = open(work / "sample.log", "w")
    env = dict(os.environ, XDG_CONFIG_HOME=str(work),
               VANTOR_PLUGIN_DIR=str(build / "lib" / "vantor-plugins"))
    sample = subprocess.Popen([str(build / "sample" / "assistant_sample"),
                               str(config)], stdin=held, stderr=log, env=env)
    time.sleep(2)
    state_tool = f"{build / 'tools' / 'vantor-state'} --config {config}"

    def start_load(seconds: int) -> subprocess.Popen:
        return subprocess.Popen(
            ["bash", str(FILES / "soak-load.sh"), str(seconds)],
            env=dict(os.environ, VANTOR_STATE=state_tool,
                     INTERACTIONS=str(fifo),
                     REPORTED=f"cat {work / 'sample.log'}"),
            stdout=subprocess.PIPE, text=True)

    def restart_daemon() -> None:
        subprocess.run(["avahi-daemon", "-k"], check=False)
        time.sleep(1)
        subprocess.run(daemon + ["start"], check=False)

    target = soak.Target(start_load=start_load,
                         sample=lambda: proc_sample(sample.pid),
                         restart_daemon=restart_daemon)
    report = Report()
    try:
        soak.run(target, minutes, report, build / "soak",
                 f"assistant_sample natively, {minutes:g} min")
        alive = sample.poll() is None
        report.check("soak-alive", alive, "the sample ran to the end"
                     if alive else f"the sample ended: {sample.returncode}")
    finally:
        sample.terminate()
        sample.wait()
        os.close(held)
        subprocess.run(daemon + ["stop"], check=False)
    ok = report.summary()
    if ok:
        subprocess.run(["rm", "-rf", str(work)], check=False)
    else:
        print(f"soak: the sample's log: {work / 'sample.log'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
