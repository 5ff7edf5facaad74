# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Whether the devices' logs and the observers tell one story, whether the
fleet has settled, and who was renamed. Plain functions of what was read,
with the clock passed in."""

from __future__ import annotations

import dataclasses
from typing import Hashable, Mapping

# An observer's view: instance name -> device id (None: not resolved).
View = Mapping[str, "str | None"]


def names_by_id(view: View) -> dict[str, list[str]]:
    names: dict[str, list[str]] = {}
    for name, device_id in sorted(view.items()):
        if device_id is not None:
            names.setdefault(device_id, []).append(name)
    return names


def seen_all(view: View, ids: list[str]) -> bool:
    """Every device resolved under some name."""
    found = names_by_id(view)
    return all(device_id in found for device_id in ids)


def distinct_names(view: View, ids: list[str]) -> int:
    """How many instance names resolve to one of these devices."""
    return sum(1 for device_id in view.values() if device_id in ids)


def observed_name(view: View, device_id: str) -> str | None:
    """The device's name in the view; several (a stale record beside the
    new one) are joined with " | " so that they match no single name."""
    names = names_by_id(view).get(device_id)
    return " | ".join(names) if names else None


@dataclasses.dataclass(frozen=True)
class NameCheck:
    device: str
    device_id: str
    advertised: str | None  # What the responder's log claims.
    shown: str | None  # What the host's own browser logged.
    observed: dict[str, str | None]  # Observer -> name it resolves.
    failures: int = 0  # Failed advertising attempts since the last start.

    @property
    def agree(self) -> bool:
        return (self.advertised is not None
                and self.shown == self.advertised
                and all(name == self.advertised
                        for name in self.observed.values()))


def check_names(devices: list[tuple[str, str, str | None, str | None, int]],
                views: Mapping[str, View]) -> list[NameCheck]:
    """devices: (device, id, advertised, shown, failures) each."""
    return [NameCheck(device, device_id, advertised, shown,
                      {observer: observed_name(view, device_id)
                       for observer, view in views.items()}, failures)
            for device, device_id, advertised, shown, failures in devices]


def shortfalls(ids: list[str], views: Mapping[str, View],
               checks: list[NameCheck]) -> list[str]:
    """What keeps the fleet from being settled, in words."""
    words = []
    for observer, view in views.items():
        found = names_by_id(view)
        missing = [i for i in ids if i not in found]
        if missing:
            words.append(f"{observer} misses {' '.join(missing)}")
        names = distinct_names(view, ids)
        if names != len(ids):
            words.append(f"{observer} shows {names} names for {len(ids)}")
    differ = [c.device for c in checks if not c.agree]
    if differ:
        words.append(f"names differ for {' '.join(differ)}")
    return words


@dataclasses.dataclass(frozen=True)
class Rename:
    device_id: str
    before: str
    after: str


def renames(before: Mapping[str, str | None],
            after: Mapping[str, str | None]) -> list[Rename]:
    """Devices known under one name before and another after (device id ->
    name); one that appears or vanishes is not renamed."""
    changed = []
    for device_id, old in sorted(before.items()):
        new = after.get(device_id)
        if old is not None and new is not None and new != old:
            changed.append(Rename(device_id, old, new))
    return changed


class Settler:
    """Settled: the checks hold and nothing has changed for quiet_s. The
    time to settle runs to the last change, the quiet wait not included."""

    def __init__(self, start: float, quiet_s: float) -> None:
        self.start = start
        self.quiet_s = quiet_s
        self._state: Hashable = None
        self._since = start

    def update(self, now: float, ok: bool, state: Hashable) -> bool:
        if state != self._state:
            self._state = state
            self._since = now
        return ok and now - self._since >= self.quiet_s

    @property
    def settle_s(self) -> float:
        return self._since - self.start
