# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""A second observer, independent of avahi: python3-zeroconf's browser and
resolver, printing what it sees as avahi-browse -rp would, so that one
reader serves both. Runs until SIGTERM.

  python3 -m mdnsfleet.zeroconf_observer _type._tcp
"""

from __future__ import annotations

import queue
import signal
import sys
import threading
import time
from typing import Any

from zeroconf import (IPVersion, ServiceBrowser, ServiceStateChange,
                      Zeroconf)

from .browse import escape

INTERFACE = "zeroconf"
RESOLVE_MS = 3000
# An unresolved name is asked for again after this long, while it lasts.
RETRY_S = 2.0


def txt_field(properties: dict[Any, Any]) -> str:
    strings = []
    for key, value in properties.items():
        text = key.decode(errors="replace") if isinstance(key, bytes) \
            else str(key)
        if value is not None:
            text += "=" + (value.decode(errors="replace")
                           if isinstance(value, bytes) else str(value))
        text = text.replace("\\", "\\\\").replace('"', '\\"')
        strings.append(f'"{text}"')
    return " ".join(strings)


def say(*fields: str) -> None:
    print(";".join(fields), flush=True)


def main(argv: list[str]) -> int:
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    service_type = argv[0]
    full_type = f"{service_type}.local."
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    changes: queue.Queue[tuple[str, ServiceStateChange]] = queue.Queue()

    def on_change(zeroconf: Zeroconf, service_type: str, name: str,
                  state_change: ServiceStateChange) -> None:
        changes.put((name, state_change))

    zc = Zeroconf(ip_version=IPVersion.V4Only)
    ServiceBrowser(zc, full_type, handlers=[on_change])
    present: set[str] = set()
    unresolved: dict[str, float] = {}  # name -> when to ask again
    try:
        while not stop.is_set():
            try:
                name, change = changes.get(timeout=0.5)
            except queue.Empty:
                name, change = "", ServiceStateChange.Updated
            if name:
                instance = escape(name[:-len(full_type) - 1])
                head = (INTERFACE, "IPv4", instance, service_type, "local")
                if change is ServiceStateChange.Removed:
                    present.discard(name)
                    unresolved.pop(name, None)
                    say("-", *head)
                    continue
                if name not in present:
                    present.add(name)
                    say("+", *head)
                unresolved[name] = 0.0
            now = time.monotonic()
            for due in [n for n, at in unresolved.items() if at <= now]:
                info = zc.get_service_info(full_type, due, RESOLVE_MS)
                if info is None or due not in present:
                    unresolved[due] = time.monotonic() + RETRY_S
                    continue
                del unresolved[due]
                addresses = info.parsed_addresses(IPVersion.V4Only)
                say("=", INTERFACE, "IPv4", escape(due[:-len(full_type) - 1]),
                    service_type, "local", info.server or "",
                    addresses[0] if addresses else "", str(info.port),
                    txt_field(info.properties))
    finally:
        zc.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
