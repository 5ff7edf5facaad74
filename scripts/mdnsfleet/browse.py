# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""avahi-browse -p lines, and what an observer that printed them sees now.
The zeroconf observer prints the same lines, so both are read alike."""

from __future__ import annotations

import dataclasses
import re

TXT_STRING = re.compile(r'"((?:[^"\\]|\\.)*)"')
ID_KEY = "id"


def unescape(label: str) -> str:
    """A name as avahi-browse -p prints it: \\DDD (decimal) for a byte,
    \\. and \\\\ for those characters."""
    out = bytearray()
    i = 0
    while i < len(label):
        if label[i] == "\\" and re.fullmatch(r"\d{3}", label[i + 1:i + 4]):
            out.append(int(label[i + 1:i + 4]))
            i += 4
        elif label[i] == "\\" and i + 1 < len(label):
            out += label[i + 1].encode()
            i += 2
        else:
            out += label[i].encode()
            i += 1
    return out.decode(errors="replace")


def escape(name: str) -> str:
    """The inverse of unescape, as avahi-browse writes a label."""
    out = []
    for byte in name.encode():
        c = chr(byte)
        if c in ".\\":
            out.append("\\" + c)
        elif c.isascii() and c.isalnum() or c in "-_":
            out.append(c)
        else:
            out.append(f"\\{byte:03d}")
    return "".join(out)


def txt_strings(field: str) -> list[str]:
    """'"a=b" "id=x"' as ["a=b", "id=x"]."""
    return [re.sub(r"\\(.)", r"\1", s) for s in TXT_STRING.findall(field)]


def txt_value(strings: list[str], key: str) -> str | None:
    for s in strings:
        k, sep, value = s.partition("=")
        if sep and k.lower() == key:
            return value
    return None


@dataclasses.dataclass(frozen=True)
class Entry:
    event: str  # +: appeared, -: gone, =: resolved.
    interface: str
    protocol: str
    name: str  # Unescaped.
    type: str
    device_id: str | None = None  # From a resolved line's TXT.


def parse_line(line: str) -> Entry | None:
    fields = line.rstrip("\n").split(";", 9)
    if len(fields) < 6 or fields[0] not in ("+", "-", "="):
        return None
    event, interface, protocol, name, type_ = fields[:5]
    device_id = None
    if event == "=" and len(fields) == 10:
        device_id = txt_value(txt_strings(fields[9]), ID_KEY)
    return Entry(event, interface, protocol, unescape(name), type_, device_id)


Key = tuple[str, str, str]  # Interface, protocol, name.


def fold(text: str, service_type: str
         ) -> dict[Key, tuple[str | None, int]]:
    """The instances of service_type listed after these lines -> device id
    (None until resolved, or without an id) and the index of the line that
    last resolved it (-1: none)."""
    present: dict[Key, tuple[str | None, int]] = {}
    for index, line in enumerate(text.splitlines()):
        entry = parse_line(line)
        if entry is None or entry.type != service_type:
            continue
        key = (entry.interface, entry.protocol, entry.name)
        if entry.event == "-":
            present.pop(key, None)
        elif entry.event == "+":
            present.setdefault(key, (None, -1))
        else:
            present[key] = (entry.device_id, index)
    return present


def by_name(present: dict[Key, str | None]) -> dict[str, str | None]:
    """name -> device id, resolved on any interface or protocol."""
    view: dict[str, str | None] = {}
    for (_, _, name), device_id in sorted(present.items()):
        if view.get(name) is None:
            view[name] = device_id
    return view


def view_of(text: str, service_type: str) -> dict[str, str | None]:
    """What an observer that printed these lines sees now: instance name ->
    device id (None until resolved)."""
    return by_name({key: device_id for key, (device_id, _)
                    in fold(text, service_type).items()})


def refreshed(text: str, snapshot: str, since_line: int,
              service_type: str) -> dict[str, str | None]:
    """view_of(text), where a later look (snapshot, begun when text had
    since_line lines) resolved a listed name afresh. avahi-browse -r
    resolves a name once while it stays listed, so a name that passes from
    one device to another without a gap keeps its first owner there."""
    fresh = view_of(snapshot, service_type)
    present = {}
    for key, (device_id, line) in fold(text, service_type).items():
        if line < since_line and fresh.get(key[2]) is not None:
            device_id = fresh[key[2]]
        present[key] = device_id
    return by_name(present)
