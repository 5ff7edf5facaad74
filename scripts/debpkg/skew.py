# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Multi-Arch: same libraries whose versions two architectures' lists
disagree on.

Such a library must have one version on every architecture. When a
suite's index failed for one architecture only, the build machine may have
a library from that suite (liblzma5 5.4.1-1+deb12u2) that armhf's lists
lack: armhf can only have deb12u1. version_pins() names, for each library
the packages need on another architecture, the version both can have, so
that one apt-get install (--allow-downgrades) takes it on both."""

from __future__ import annotations

import os
import re

from .common import Runner

QUERY_LIMIT_S = 300


def deb_depends(field: str) -> list[str]:
    """The package names of a .deb's Depends field, alternatives included,
    versions dropped."""
    names = []
    for part in re.split(r"[,|]", field):
        names += re.sub(r"\(.*\)", "", part, count=1).split()
    return names


def foreign_needs(depends: str, build_arch: str) -> list[tuple[str, str]]:
    """(name, arch) of every name:arch that `apt-cache depends --recurse`
    printed for an architecture other than build_arch, alternatives left
    out."""
    needs = set()
    for line in depends.splitlines():
        match = re.fullmatch(r" *(?:Pre)?Depends: ([^ <>]*)", line)
        name = match.group(1) if match else line
        if not re.fullmatch(r"[^ <>]*", name) or ":" not in name:
            continue
        bare, arch = name.split(":", 1)
        if arch not in (build_arch, "any"):
            needs.add((bare, arch))
    return sorted(needs)


def multiarch_same(query: str) -> list[tuple[str, str]]:
    """(name:arch, version) of the Multi-Arch: same packages in dpkg-query's
    "${Package}:${Architecture} ${Version} ${Multi-Arch}" lines."""
    found = []
    for line in query.splitlines():
        fields = line.split()
        if len(fields) >= 3 and fields[2] == "same":
            found.append((fields[0], fields[1]))
    return sorted(set(found))


def candidates(show: str) -> dict[str, tuple[str, str]]:
    """Package -> (Architecture, Version) of each record that
    `apt-cache show --no-all-versions` printed. apt writes Version before
    Architecture, so a record is only read whole."""
    found = {}
    for record in re.split(r"\n\s*\n", show):
        fields = dict(re.findall(r"^([A-Za-z0-9-]+): *(.*)$", record,
                                 re.MULTILINE))
        if {"Package", "Architecture", "Version"} <= fields.keys():
            found[fields["Package"]] = (fields["Architecture"],
                                        fields["Version"])
    return found


def madison(listing: str) -> set[tuple[str, str]]:
    """(name, version) of each `apt-cache madison` line
    ("  liblzma5 | 5.4.1-1+deb12u1 | URI SUITE/COMPONENT ARCH Packages")."""
    found = set()
    for line in listing.splitlines():
        fields = line.split(" | ")
        if len(fields) >= 2:
            found.add((fields[0].strip(), fields[1].strip()))
    return found


def pins(installed: dict[str, str], wanted: dict[str, tuple[str, str]],
         available: set[tuple[str, str]], build_arch: str) -> list[str]:
    """name:arch=version for both architectures of each library installed
    (name -> version on build_arch) at another version than the other
    architecture's lists want (name -> (arch, version)), when the lists
    have that version for build_arch too."""
    found = set()
    for name, (arch, version) in wanted.items():
        if (name in installed and installed[name] != version
                and (name, version) in available):
            found.add(f"{name}:{build_arch}={version}")
            found.add(f"{name}:{arch}={version}")
    return sorted(found)


def version_pins(apt_options: list[str], targets: list[str],
                 runner: Runner) -> list[str]:
    """The pins (see pins()) for installing targets, packages or .deb files,
    with the lists that apt_options select."""
    names: list[str] = []
    for target in targets:
        if os.path.isfile(target):
            names += deb_depends(runner(["dpkg-deb", "-f", target, "Depends"],
                                        timeout=QUERY_LIMIT_S,
                                        stderr="drop").output)
        else:
            names.append(target)
    if not names:
        return []
    build_arch = runner(["dpkg", "--print-architecture"],
                        timeout=QUERY_LIMIT_S, stderr="pass").output.strip()
    depends = runner(["apt-cache", *apt_options, "depends", "--recurse",
                      "--no-recommends", "--no-suggests", "--no-conflicts",
                      "--no-breaks", "--no-replaces", "--no-enhances",
                      *names], timeout=QUERY_LIMIT_S, stderr="drop").output
    needs = foreign_needs(depends, build_arch)
    if not needs:
        return []
    # Installed on the build architecture and Multi-Arch: same; what the
    # lists have for the other architecture; which versions the build
    # architecture can have. One query each.
    native = sorted({f"{name}:{build_arch}" for name, _ in needs})
    same = multiarch_same(runner(
        ["dpkg-query", "-W",
         "-f=${Package}:${Architecture} ${Version} ${Multi-Arch}\n", *native],
        timeout=QUERY_LIMIT_S, stderr="drop").output)
    if not same:
        return []
    installed = {qualified.split(":", 1)[0]: version
                 for qualified, version in same}
    foreign = [f"{name}:{arch}" for name, arch in needs if name in installed]
    wanted = candidates(runner(
        ["apt-cache", *apt_options, "show", "--no-all-versions", *foreign],
        timeout=QUERY_LIMIT_S, stderr="drop").output)
    available = madison(runner(
        ["apt-cache", *apt_options, "madison",
         *(qualified for qualified, _ in same)],
        timeout=QUERY_LIMIT_S, stderr="drop").output)
    return pins(installed, wanted, available, build_arch)
