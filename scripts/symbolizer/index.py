# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Where the packages come from: a repository that scripts/apt-repo made
(a folder or its http(s) URL: its indexes, main and debug), or build-deb's
files. Each package is an Entry; a -dbgsym package's Build-Ids say which
binaries it holds the debug information of."""

from __future__ import annotations

import dataclasses
import hashlib
import os
import re
import shutil
import subprocess
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path

from .common import Failure

COMPONENTS = ("main", "debug")
DEBUG_SUFFIX = "-dbgsym"
FETCH_LIMIT_S = 120
DPKG_LIMIT_S = 120


@dataclasses.dataclass(frozen=True)
class Entry:
    package: str
    version: str
    architecture: str
    location: str  # Filename: relative to the repository, or a path.
    sha256: str = ""
    build_ids: tuple[str, ...] = ()

    @property
    def debug(self) -> bool:
        return self.package.endswith(DEBUG_SUFFIX)

    @property
    def binary_package(self) -> str:
        """The package whose binaries a -dbgsym package is of."""
        return self.package[:-len(DEBUG_SUFFIX)] if self.debug else \
            self.package


def parse_packages(text: str, location: str = "") -> list[Entry]:
    """The stanzas of a Packages index, or of dpkg-deb -f's output (no
    Filename; location is then the file's)."""
    entries = []
    for stanza in re.split(r"\n\s*\n", text):
        fields: dict[str, str] = {}
        name = ""
        for line in stanza.splitlines():
            if line[:1] in (" ", "\t") and name:
                fields[name] += "\n" + line.strip()
                continue
            key, colon, value = line.partition(":")
            if colon:
                name = key.strip().lower()
                fields[name] = value.strip()
        if "package" not in fields:
            continue
        entries.append(Entry(
            package=fields["package"], version=fields.get("version", ""),
            architecture=fields.get("architecture", ""),
            location=fields.get("filename", location),
            sha256=fields.get("sha256", ""),
            build_ids=tuple(fields.get("build-ids", "").lower().split())))
    return entries


def by_build_id(entries: list[Entry]) -> dict[str, Entry]:
    return {build_id: e for e in entries if e.debug for build_id in
            e.build_ids}


def binaries_of(debug: Entry, entries: list[Entry]) -> Entry | None:
    """The package of the same version whose binaries debug describes."""
    return next((e for e in entries if not e.debug
                 and e.package == debug.binary_package
                 and e.version == debug.version
                 and e.architecture == debug.architecture), None)


def release_architectures(release: str) -> list[str]:
    match = re.search(r"^Architectures: (.*)$", release, re.MULTILINE)
    return match[1].split() if match else []


class Source:
    """Entries, and a local file for each."""

    def __init__(self, entries: list[Entry]) -> None:
        self.entries = entries

    def fetch(self, entry: Entry) -> Path:
        raise NotImplementedError


class Folder(Source):
    """build-deb/*/*/*.deb (or any such list of files)."""

    def __init__(self, debs: list[Path]) -> None:
        entries = []
        for deb in debs:
            control = subprocess.run(
                ["dpkg-deb", "-f", str(deb)], check=True, text=True,
                stdout=subprocess.PIPE, timeout=DPKG_LIMIT_S).stdout
            entries += parse_packages(control, str(deb))
        super().__init__(entries)

    def fetch(self, entry: Entry) -> Path:
        return Path(entry.location)


class Repository(Source):
    """A repository of scripts/apt-repo's, by folder or URL. Downloads are
    kept in cache by their SHA-256, which the index gives and which is
    checked."""

    def __init__(self, where: str, suites: list[str], cache: Path) -> None:
        self.remote = bool(re.match(r"https?://", where))
        self.base = where.rstrip("/") + "/" if self.remote else where
        self.cache = cache
        entries: list[Entry] = []
        for suite in suites:
            release = self._text(f"dists/{suite}/Release")
            if release is None:
                continue
            for arch in release_architectures(release):
                for component in COMPONENTS:
                    packages = self._text(
                        f"dists/{suite}/{component}/binary-{arch}/Packages")
                    entries += parse_packages(packages or "")
        if not entries:
            raise Failure(f"{where}: no packages in dists/"
                          f"{{{','.join(suites)}}}/ (a repository made by "
                          "scripts/apt-repo?)")
        super().__init__(entries)

    def _text(self, relative: str) -> str | None:
        if not self.remote:
            try:
                return (Path(self.base) / relative).read_text()
            except FileNotFoundError:
                return None
        try:
            with urllib.request.urlopen(self.base + relative,
                                        timeout=FETCH_LIMIT_S) as answer:
                return str(answer.read().decode())
        except urllib.error.HTTPError as e:
            if e.code == 404:
                return None
            raise Failure(f"{self.base}{relative}: {e}") from e
        except urllib.error.URLError as e:
            raise Failure(f"{self.base}{relative}: {e.reason}") from e

    def fetch(self, entry: Entry) -> Path:
        if not self.remote:
            return Path(self.base) / entry.location
        kept = self.cache / f"{entry.sha256}.deb"
        if entry.sha256 and kept.exists():
            return kept
        self.cache.mkdir(parents=True, exist_ok=True)
        part = kept.with_suffix(f".part{os.getpid()}")
        url = self.base + urllib.parse.quote(entry.location)
        try:
            with urllib.request.urlopen(
                    url, timeout=FETCH_LIMIT_S) as answer, \
                    open(part, "wb") as out:
                shutil.copyfileobj(answer, out)
            digest = hashlib.sha256(part.read_bytes()).hexdigest()
            if digest != entry.sha256:
                raise Failure(f"{url}: SHA-256 {digest}, the index says "
                              f"{entry.sha256}")
            os.replace(part, kept)
        except urllib.error.URLError as e:
            raise Failure(f"{url}: {e.reason}") from e
        finally:
            part.unlink(missing_ok=True)
        return kept
