# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Readers of what the board prints: avahi-browse -p lines, journal lines,
the service's configuration, /proc files. Plain functions of text, so they
are tested without a board."""

from __future__ import annotations

import dataclasses
import json
import re

from .results import percentile

# ---- avahi-browse -p --------------------------------------------------------


def unescape_avahi(label: str) -> str:
    """A name as avahi-browse -p prints it: \\DDD (decimal) for a byte,
    \\. and \\\\ for those characters."""
    out = bytearray()
    i = 0
    while i < len(label):
        if label[i] == "\\" and re.match(r"\d{3}", label[i + 1:i + 4]):
            out.append(int(label[i + 1:i + 4]))
            i += 4
        elif label[i] == "\\" and i + 1 < len(label):
            out += label[i + 1].encode()
            i += 2
        else:
            out += label[i].encode()
            i += 1
    return out.decode(errors="replace")


@dataclasses.dataclass(frozen=True)
class BrowseEntry:
    event: str  # +: appeared, -: gone, =: resolved.
    interface: str
    protocol: str
    name: str  # Unescaped.
    type: str
    domain: str
    host: str = ""  # The rest only on resolved (=) lines.
    address: str = ""
    port: int | None = None
    txt: str = ""


def parse_browse(text: str) -> list[BrowseEntry]:
    entries = []
    for line in text.splitlines():
        fields = line.split(";", 9)
        if len(fields) < 6 or fields[0] not in ("+", "-", "="):
            continue
        event, interface, protocol, name, type_, domain = fields[:6]
        extra = fields[6:] + [""] * (10 - len(fields))
        port = int(extra[2]) if extra[2].isdigit() else None
        entries.append(BrowseEntry(event, interface, protocol,
                                   unescape_avahi(name), type_, domain,
                                   extra[0], extra[1], port, extra[3]))
    return entries


@dataclasses.dataclass(frozen=True)
class Expected:
    """The advertisement the installed configuration asks for."""
    name: str
    type: str
    port: int
    host: str
    address: str

    def resolved_in(self, entries: list[BrowseEntry]) -> bool:
        return any(e.event == "=" and e.name == self.name
                   and e.type == self.type and e.domain == "local"
                   and e.host == self.host and e.address == self.address
                   and e.port == self.port for e in entries)

    def listed_in(self, entries: list[BrowseEntry]) -> bool:
        """Named by a line that does not say it is gone, resolved or not."""
        return any(e.event != "-" and e.name == self.name
                   and e.type == self.type for e in entries)

    def __str__(self) -> str:
        name = self.name.replace(" ", "\\032")
        return (f"{name};{self.type};local;{self.host};{self.address};"
                f"{self.port};")


def look_summary(text: str) -> str:
    """The -p lines, each without the domain and host fields, on one line:
    what a failed check shows of its last look."""
    lines = [line.split(";") for line in text.splitlines() if line.strip()]
    return " ".join(";".join(f[:4] + f[6:9]) for f in lines)

# ---- The configuration ------------------------------------------------------


def strip_comments(text: str) -> str:
    """The JSON left of text with // comments and trailing commas, as the
    device's configuration allows them."""
    out, i, in_string = [], 0, False
    while i < len(text):
        c = text[i]
        if in_string:
            out.append(c)
            if c == "\\":
                out.append(text[i + 1:i + 2])
                i += 1
            elif c == '"':
                in_string = False
        elif c == '"':
            in_string = True
            out.append(c)
        elif text.startswith("//", i):
            while i < len(text) and text[i] != "\n":
                i += 1
            continue
        else:
            out.append(c)
        i += 1
    return re.sub(r",(\s*[}\]])", r"\1", "".join(out))


def _find_key(value, key: str):
    if isinstance(value, dict):
        if key in value:
            return value[key]
        for child in value.values():
            found = _find_key(child, key)
            if found is not None:
                return found
    return None


def config_value(text: str, key: str, default: str) -> str:
    """The value of key (at any depth) in the configuration text, as a
    string; default when it is missing or the text does not parse."""
    try:
        value = _find_key(json.loads(strip_comments(text)), key)
    except ValueError:
        return default
    return default if value is None else str(value)


# ---- The journal ------------------------------------------------------------

_MONOTONIC = re.compile(r"^\[\s*([0-9.]+)\]\s?(.*)$")


def monotonic_lines(text: str) -> list[tuple[float, str]]:
    """(seconds, rest) of each line of journalctl -o short-monotonic."""
    lines = []
    for line in text.splitlines():
        match = _MONOTONIC.match(line)
        if match:
            lines.append((float(match.group(1)), match.group(2)))
    return lines


def first_monotonic(text: str, pattern: str) -> str | None:
    """The monotonic time, as printed, of the first line matching pattern."""
    for line in text.splitlines():
        match = _MONOTONIC.match(line)
        if match and re.search(pattern, match.group(2)):
            return match.group(1)
    return None


def loss_to_reregistration(text: str) -> float | None:
    """Seconds from the plug-in's first line about a lost registration to
    its next Re-registered line (short-monotonic lines)."""
    lost = None
    for seconds, rest in monotonic_lines(text):
        if lost is None and "Lost mdns service instances" in rest:
            lost = seconds
        elif (lost is not None
              and "Re-registered mdns service instance" in rest):
            return seconds - lost
    return None


@dataclasses.dataclass
class Latencies:
    """Renames of the mic state file paired in order with the host's log
    lines of the change; ms from each rename to its line."""
    renames: int
    lines: int
    ms: list[float]

    @property
    def paired(self) -> bool:
        return self.renames > 0 and len(self.ms) == self.renames


def pair_renames(text: str) -> Latencies:
    """Reads `rename MICROSECONDS WORD` (off: muted) and `log SECONDS
    muted|unmuted` lines (both since the epoch). Any line too many or too
    few, or a change logged out of order, leaves them unpaired."""
    renames, logs = [], []
    for line in text.splitlines():
        words = line.split()
        if len(words) != 3:
            continue
        if words[0] == "rename":
            renames.append((float(words[1]),
                            "muted" if words[2] == "off" else "unmuted"))
        elif words[0] == "log":
            logs.append((float(words[1]), words[2]))
    result = Latencies(len(renames), len(logs), [])
    if len(renames) != len(logs):
        return result
    for (renamed_us, wanted), (logged_s, said) in zip(renames, logs):
        if wanted != said:
            return Latencies(len(renames), len(logs), [])
        result.ms.append((logged_s * 1e6 - renamed_us) / 1000)
    return result


def latency_figures(ms: list[float]) -> tuple[str, str, str]:
    """Median, p99 and maximum, formatted as the figures show them."""
    return (f"{percentile(ms, 50):.1f}", f"{percentile(ms, 99):.1f}",
            f"{max(ms):.1f}")

# ---- /proc and the tools' own words -----------------------------------------


def proc_status(text: str) -> dict[str, str]:
    """The first value of each field of /proc/PID/status."""
    fields = {}
    for line in text.splitlines():
        key, _, value = line.partition(":")
        if value.split():
            fields[key] = value.split()[0]
    return fields


def idle_switches(text: str) -> tuple[int, str]:
    """Context switches over the idle time from `before|after TID COMM N`
    lines: the total, and per thread `COMM=N` sorted. A thread that
    started meanwhile counts whole; one that ended does not count."""
    before: dict[str, int] = {}
    after: list[tuple[str, str, int]] = []
    for line in text.splitlines():
        words = line.split()
        if len(words) != 4 or not words[3].isdigit():
            continue
        if words[0] == "before":
            before[words[1]] = int(words[3])
        elif words[0] == "after":
            after.append((words[1], words[2], int(words[3])))
    counts = [(comm, n - before.get(tid, 0)) for tid, comm, n in after]
    per_thread = " ".join(sorted(f"{comm}={n}" for comm, n in counts))
    return sum(n for _, n in counts), per_thread


def usage_words(text: str) -> list[str]:
    """The words that vantor-state names when given one it does not know:
    `... (one of: A B C) ...`."""
    match = re.search(r"\(one of: ([^)]*)\)", text)
    return match.group(1).split() if match else []


def exposure_score(text: str) -> str | None:
    """The overall exposure of systemd-analyze security's table."""
    match = re.search(r"Overall exposure level for [^:]*: ([0-9.]+)", text)
    return match.group(1) if match else None


# systemd's time spans as `systemctl show` prints them ("15s", "1min 30s",
# "500ms"), in seconds.
_SPAN_UNITS = {"us": 1e-6, "ms": 1e-3, "s": 1, "min": 60, "h": 3600,
               "d": 86400}


def span_seconds(text: str) -> float | None:
    """A span of systemctl show in seconds; None when it is none
    ("infinity", empty) or not a span."""
    parts = re.findall(r"([0-9.]+)\s*([a-z]+)", text)
    if not parts or re.sub(r"[0-9.]+\s*[a-z]+|\s", "", text):
        return None
    total = 0.0
    for number, unit in parts:
        if unit not in _SPAN_UNITS:
            return None
        total += float(number) * _SPAN_UNITS[unit]
    return total


def first_after(entries: list[JournalEntry], text: str,
                since_us: int) -> JournalEntry | None:
    """The first entry after the monotonic time since_us that holds text."""
    found = [e for e in entries if e.monotonic_us > since_us
             and text in e.message]
    return min(found, key=lambda e: e.monotonic_us) if found else None


# ---- The journal as JSON ----------------------------------------------------

@dataclasses.dataclass(frozen=True)
class JournalEntry:
    monotonic_us: int
    priority: int
    message: str
    pid: int = 0  # The process that logged it; systemd's own lines are 1's.
    realtime_us: int = 0  # The wall clock, which goes on across boots.
    boot: str = ""


# The severity a line of ours names, and the syslog priority the logger
# puts before it when stderr is the journal.
SEVERITY_PRIORITIES = {"INFO": 6, "WARNING": 4, "ERROR": 3, "FATAL": 2}


def journal_entries(text: str) -> list[JournalEntry]:
    """The entries of `journalctl -o json` output; a message that is not
    text (journald's byte array) or an entry without a priority is passed
    over."""
    entries = []
    for line in text.splitlines():
        try:
            fields = json.loads(line)
            entries.append(JournalEntry(
                int(fields["__MONOTONIC_TIMESTAMP"]), int(fields["PRIORITY"]),
                fields["MESSAGE"], int(fields.get("_PID", 0)),
                int(fields.get("__REALTIME_TIMESTAMP", 0)),
                str(fields.get("_BOOT_ID", ""))))
        except (ValueError, KeyError, TypeError):
            continue
    return [e for e in entries if isinstance(e.message, str)]


def severity_of(message: str) -> str | None:
    """The severity our logger wrote at the head of a line, if it is ours."""
    match = re.match(r"\[(?:[0-9/.:]+:)?(INFO|WARNING|ERROR|FATAL):", message)
    return match.group(1) if match else None


def misfiled(entries: list[JournalEntry]) -> list[str]:
    """Our lines whose journal priority is not their severity's."""
    return [f"{e.priority} {e.message}" for e in entries
            if (severity := severity_of(e.message)) is not None
            and SEVERITY_PRIORITIES[severity] != e.priority]


# ---- A restart of the service across an update ------------------------------

# The line that says the service is on the network again.
ADVERTISED = r"Advertised .*: SUCCESS"


@dataclasses.dataclass(frozen=True)
class Restart:
    starts: int  # systemd's "Started" lines for the unit.
    downtime_s: float | None  # Old process's last line -> new advertisement.


def restart_after(entries: list[JournalEntry], old_pid: int) -> Restart:
    """What the unit's journal since an update began says of its restart.
    The old process's last line (systemd's "Stopping" when it said nothing)
    to the first "Advertised ...: SUCCESS" of another process; the journal's
    monotonic clock, as an update does not reboot."""
    starts = sum(e.pid == 1 and e.message.startswith("Started ")
                 for e in entries)
    old = [e.monotonic_us for e in entries if e.pid == old_pid]
    if not old:
        old = [e.monotonic_us for e in entries
               if e.pid == 1 and e.message.startswith("Stopping ")]
    advertised = [e.monotonic_us for e in entries
                  if e.pid not in (0, 1, old_pid)
                  and re.search(ADVERTISED, e.message)]
    if not old or not advertised or min(advertised) < max(old):
        return Restart(starts, None)
    return Restart(starts, (min(advertised) - max(old)) / 1e6)


def last_mute_report(entries: list[JournalEntry], pid: int) -> str | None:
    """What process pid last said of the microphone: "muted", "unmuted" or
    None ("Microphone: WORD" at its start, "Microphone WORD" on a change)."""
    said = None
    for e in entries:
        match = re.search(r"\] Microphone:? (muted|unmuted)$", e.message)
        if e.pid == pid and match:
            said = match.group(1)
    return said


# ---- Outages across a release upgrade ---------------------------------------

@dataclasses.dataclass(frozen=True)
class Outage:
    start_us: int  # Wall clock of systemd's Stopping, else the last line.
    seconds: float  # To the next process's advertisement.
    boots: int  # Boots it spans: 0 for a restart within one boot.


def outages(entries: list[JournalEntry]) -> list[Outage]:
    """Each gap in the service across entries of several processes and
    boots, on the wall clock: from systemd's 'Stopping' of a process (its
    last line when there is none: a crash, a cut) to the first
    'Advertised ...: SUCCESS' of a later one. A process quiet for minutes
    still runs: its last line is not when it went. A process that never
    advertised (a start cut short) lies within the gap. A process is a
    pid of a boot: pids come round again after a reboot."""
    first: dict[tuple[str, int], int] = {}
    last: dict[tuple[str, int], int] = {}
    advertised: dict[tuple[str, int], int] = {}
    stopping: list[tuple[str, int]] = []
    for e in sorted(entries, key=lambda e: e.realtime_us):
        if e.pid == 1 and e.message.startswith("Stopping "):
            stopping.append((e.boot, e.realtime_us))
        if e.pid in (0, 1):
            continue
        key = (e.boot, e.pid)
        first.setdefault(key, e.realtime_us)
        last[key] = e.realtime_us
        if key not in advertised and re.search(ADVERTISED, e.message):
            advertised[key] = e.realtime_us
    order = sorted(first, key=first.__getitem__)
    gaps = []
    i = 0
    while i < len(order) - 1:
        went = order[i]
        back = next((j for j in range(i + 1, len(order))
                     if order[j] in advertised
                     and advertised[order[j]] >= last[went]), None)
        if back is None:
            break
        came = order[back]
        boots = len({key[0] for key in order[i:back + 1]}) - 1
        # A process logs nothing more once stopped, or nothing at all.
        start = next((at for boot, at in stopping if boot == went[0]
                      and first[went] <= at <= first[order[i + 1]]),
                     last[went])
        gaps.append(Outage(start, (advertised[came] - start) / 1e6, boots))
        i = back
    return gaps


# A question dpkg (or ucf) asks about a changed configuration file: asked
# on a terminal, answered by --force-confold/confdef without one.
_CONFFILE = re.compile(r"^\s*Configuration file [`'\u2018]([^'\u2019]+)"
                       r"['\u2019]", re.MULTILINE)


def conffile_questions(log: str) -> list[str]:
    """The configuration files an apt or dpkg log asked about."""
    return list(dict.fromkeys(_CONFFILE.findall(log)))
