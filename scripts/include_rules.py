#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Checks every #include of the tree against the README's table of what
may depend on what, the only copy of those rules.

    scripts/include_rules.py [ROOT]

Prints each include that breaks a rule as FILE:LINE: the include, and the
rule it breaks; exits 1 if there is one, 0 if none."""

from __future__ import annotations

import dataclasses
import re
import sys
from pathlib import Path

BEGIN, END = "<!-- include-rules -->", "<!-- /include-rules -->"
SOURCES = (".c", ".cc", ".h")
SKIPPED = (".git", "build")  # Build trees are build*.
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
TICKED = re.compile(r"`([^`]+)`")
PUBLIC = "public headers"
PUBLIC_MARK = "<public headers>"  # A cell that names them in words.
OWN_FILES = "(its own files)"
TESTS = "tests ("


@dataclasses.dataclass
class Rules:
    """The table: code in a folder -> what it may include, besides its own
    folder. None means anything."""
    folders: dict[str, list[str] | None]
    public: list[str]  # What the installed headers may include.
    own_files: dict[str, list[str]]  # A folder's own files, not its folders'.
    tests_also: list[str]


@dataclasses.dataclass(frozen=True)
class Breach:
    path: str
    line: int
    included: str
    rule: str

    def __str__(self) -> str:
        return f"{self.path}:{self.line}: {self.included}: {self.rule}"


def parse_table(readme: str) -> Rules:
    """The rows of the README's include-rules table."""
    start, end = readme.find(BEGIN), readme.find(END)
    if start < 0 or end < start:
        raise ValueError(f"the README has no {BEGIN} table")
    rules = Rules({}, [], {}, [])
    for row in readme[start:end].splitlines():
        cells = [c.strip() for c in row.strip().strip("|").split("|")]
        if len(cells) != 2 or not cells[0].startswith(("`", "tests")):
            continue
        code, allowed = cells
        names = TICKED.findall(allowed)
        if "the public headers" in allowed:
            names.append(PUBLIC_MARK)
        anything = allowed == "anything"
        if code.startswith(TESTS):
            rules.tests_also = names
        elif code.endswith(PUBLIC):
            rules.public = names
        elif code.endswith(OWN_FILES):
            rules.own_files[TICKED.findall(code)[0]] = names
        else:
            for folder in TICKED.findall(code):
                rules.folders[folder] = None if anything else names
    return rules


def public_headers(root: Path) -> set[str]:
    """The installed interface headers, as prebuilt/lib's CMakeLists names
    them for installation."""
    text = (root / "prebuilt/lib/CMakeLists.txt").read_text()
    match = re.search(r"set\(VANTOR_PUBLIC_HEADERS\s+([^)]*)\)", text)
    if not match:
        raise ValueError("prebuilt/lib/CMakeLists.txt lists no public headers")
    return {f"prebuilt/lib/{name}.h" for name in match.group(1).split()}


def allows(names: list[str], included: str, public: set[str]) -> bool:
    for name in names:
        if name == PUBLIC_MARK:
            if included in public:
                return True
        elif included == name or (name.endswith("/") and
                                  included.startswith(name)):
            return True
    return False


def folder_of(path: str, rules: Rules) -> str | None:
    """The longest folder of the table that holds path."""
    found = [f for f in rules.folders if path.startswith(f)]
    return max(found, key=len) if found else None


def check_file(path: str, text: str, rules: Rules, public: set[str],
               ours: set[str]) -> list[Breach]:
    """The includes of one file (path relative to the root) that break the
    table."""
    breaches = []
    parent = path.rsplit("/", 1)[0] + "/" if "/" in path else ""
    own_files = rules.own_files.get(parent)
    folder = folder_of(path, rules)
    if own_files is not None:
        allowed: list[str] | None = own_files
        home = parent
    elif folder is not None:
        allowed = rules.folders[folder]
        home = folder
    else:
        return []
    if allowed is None:
        return []
    is_public = path in public
    is_test = path.endswith("_test.cc")
    for number, line in enumerate(text.splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        included = match.group(1)
        if included.split("/", 1)[0] not in ours:
            continue  # Beside the file, or another project's header.
        if is_public:
            if included not in public and not allows(rules.public, included,
                                                     public):
                breaches.append(Breach(
                    path, number, included,
                    "a public header includes only "
                    + ", ".join(rules.public)))
            continue
        in_home = included.startswith(home) and (
            own_files is None or "/" not in included[len(home):])
        if in_home or allows(allowed, included, public):
            continue
        if is_test and allows(rules.tests_also, included, public):
            continue
        may = ", ".join(n for n in allowed) or "nothing of ours"
        where = f"{home} (its own files)" if own_files is not None else home
        breaches.append(Breach(path, number, included,
                               f"{where} may include {may}"))
    return breaches


def sources(root: Path) -> list[Path]:
    found = []
    for path in root.rglob("*"):
        relative = path.relative_to(root).parts
        if any(part.startswith(SKIPPED) for part in relative[:1]) or \
                not path.is_file() or path.suffix not in SOURCES:
            continue
        found.append(path)
    return sorted(found)


def check_tree(root: Path) -> list[Breach]:
    rules = parse_table((root / "README.md").read_text())
    public = public_headers(root)
    # An include of ours starts with a top folder the table names.
    named = list(rules.folders) + list(rules.own_files) + rules.public + \
        [n for names in rules.folders.values() for n in names or []]
    ours = {n.split("/", 1)[0] for n in named if "/" in n}
    breaches = []
    for path in sources(root):
        breaches += check_file(path.relative_to(root).as_posix(),
                               path.read_text(errors="replace"), rules,
                               public, ours)
    return breaches


def main(argv: list[str]) -> int:
    root = Path(argv[0]) if argv else Path(__file__).resolve().parent.parent
    breaches = check_tree(root)
    for breach in breaches:
        print(breach)
    print(f"include_rules: {len(breaches)} include(s) break the README's "
          "table" if breaches else "include_rules: every include keeps the "
          "README's table")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
