# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""What a sample's log says of its mDNS name. Every line this harness reads
is matched by one of the patterns below and nowhere else, so a change of
wording is a change here."""

from __future__ import annotations

import dataclasses
import re

# "[INFO:network_view.cc(358)] message"
PREFIX = re.compile(r"^\[[A-Z]+:[^\]]*\] ")
# Written by the harness into the log before each start of the sample.
START_MARKER = "==== mdns-fleet: start"

# The host asks for its name (network_reactions.cc).
ADVERTISING = re.compile(r"^Advertising (?P<service>.+) on port \d+$")
ADVERTISED = re.compile(r"^Advertised (?P<service>.+): SUCCESS$")
ADVERTISING_FAILED = re.compile(
    r"^Advertising (?P<service>.+) failed: (?P<why>.*)$")
# The responder, when the daemon answers with a name other than the asked
# one, or returns to it (bonjour_mdns_responder.cc).
RESPONDER_NAME = re.compile(
    r"^(?P<service>.+) is advertised as '(?P<name>.*)'$")
LOST = re.compile(r"^Lost mdns service instances\b")
REREGISTERED = re.compile(r"^Re-registered mdns service instance: ")
# The host's own browser, finding its id in a peer's view of the link
# (network_view.cc).
SHOWN = re.compile(
    r"^mDNS: the network shows this device (?:again )?as '(?P<name>.*?)'"
    r"(?: \(|,|$)")
NOT_SHOWN = re.compile(
    r"^mDNS: the network no longer shows this device as '(?P<name>.*?)'")


def instance_of(service: str) -> str:
    """The instance name of "NAME._type._proto"."""
    return service.rsplit(".", 2)[0]


@dataclasses.dataclass
class DeviceLog:
    """What the log says since the sample's last start."""
    starts: int = 0
    asked: str | None = None
    registered: bool = False
    # The responder's last word on the name, when it said one.
    responder_name: str | None = None
    # The name the host's browser last found for itself; None when lost.
    shown: str | None = None
    failures: int = 0
    last_failure: str = ""

    @property
    def advertised(self) -> str | None:
        """The name the device claims to be advertised as, if any."""
        if not self.registered:
            return None
        return self.responder_name or self.asked


def message(line: str) -> str:
    return PREFIX.sub("", line.rstrip("\n"), count=1)


def read_log(text: str) -> DeviceLog:
    log = DeviceLog()
    for line in text.splitlines():
        if line.startswith(START_MARKER):
            log = DeviceLog(starts=log.starts + 1)
            continue
        text = message(line)
        if m := ADVERTISING.match(text):
            log.asked = instance_of(m["service"])
        elif m := ADVERTISED.match(text):
            # A try after a failure may ask for another (free) name.
            log.asked = instance_of(m["service"])
            log.registered = True
        elif REREGISTERED.match(text):
            log.registered = True
        elif m := ADVERTISING_FAILED.match(text):
            log.registered = False
            log.responder_name = None
            log.failures += 1
            log.last_failure = m["why"]
        elif m := RESPONDER_NAME.match(text):
            log.responder_name = m["name"]
        elif LOST.match(text):
            log.registered = False
        elif m := SHOWN.match(text):
            log.shown = m["name"]
        elif NOT_SHOWN.match(text):
            log.shown = None
    return log
