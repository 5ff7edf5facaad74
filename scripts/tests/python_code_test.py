# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The Python of scripts/ as a whole: Debian's mypy and flake8 find
nothing in it, every module imports, and no module imports, however
indirectly, one that imports it (a circle makes the import order matter
and hides which module is the lower one)."""

from __future__ import annotations

import ast
import importlib
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SCRIPTS = Path(__file__).resolve().parent.parent
LIMIT_S = 300


def packages() -> list[Path]:
    return sorted(p.parent for p in SCRIPTS.glob("*/__init__.py"))


def python_files() -> list[Path]:
    """Every package's modules, the loose modules here and in tests/, and
    the executables whose interpreter is python."""
    loose = sorted(SCRIPTS.glob("*.py")) + sorted(SCRIPTS.glob("tests/*.py"))
    executables = []
    for path in sorted(SCRIPTS.iterdir()):
        if path.is_file() and not path.suffix:
            with open(path, "rb") as f:
                if b"python" in f.readline():
                    executables.append(path)
    return packages() + loose + executables


def module_files() -> dict[str, Path]:
    """Dotted name -> file of each module of each package."""
    found = {}
    for package in packages():
        for path in sorted(package.rglob("*.py")):
            parts = path.relative_to(SCRIPTS).with_suffix("").parts
            if parts[-1] == "__init__":
                parts = parts[:-1]
            found[".".join(parts)] = path
    return found


def imported(name: str, path: Path, known: set[str]) -> set[str]:
    """The modules of known that the module name imports anywhere in its
    text, in a function as much as at the top."""
    package = name if path.name == "__init__.py" else name.rpartition(".")[0]
    found: set[str] = set()
    for node in ast.walk(ast.parse(path.read_text(), str(path))):
        targets: list[str] = []
        if isinstance(node, ast.Import):
            targets = [alias.name for alias in node.names]
        elif isinstance(node, ast.ImportFrom):
            base = package
            for _ in range(node.level - 1):
                base = base.rpartition(".")[0]
            if node.level:
                base = ".".join(filter(None, [base, node.module or ""]))
            else:
                base = node.module or ""
            # `from . import x` names a module when there is one called x.
            targets = [f"{base}.{alias.name}" for alias in node.names]
            targets = [t if t in known else base for t in targets]
        found.update(t for t in targets if t in known and t != name)
    return found


def circle(graph: dict[str, set[str]]) -> list[str]:
    """A circle of the graph as the modules along it, or []."""
    state: dict[str, str] = {}  # "open" while on the path, then "done".
    path: list[str] = []

    def visit(name: str) -> list[str]:
        state[name] = "open"
        path.append(name)
        for other in sorted(graph[name]):
            if state.get(other) == "open":
                return path[path.index(other):] + [other]
            if other not in state:
                found = visit(other)
                if found:
                    return found
        path.pop()
        state[name] = "done"
        return []

    for name in sorted(graph):
        if name not in state:
            found = visit(name)
            if found:
                return found
    return []


class ImportTest(unittest.TestCase):
    def test_no_circle(self):
        files = module_files()
        graph = {name: imported(name, path, set(files))
                 for name, path in files.items()}
        self.assertEqual(circle(graph), [])

    def test_circle_is_found(self):
        cases = [
            ({"a": {"b"}, "b": {"c"}, "c": set()}, []),
            ({"a": {"b"}, "b": {"c"}, "c": {"a"}}, ["a", "b", "c", "a"]),
            ({"a": {"b", "c"}, "b": set(), "c": {"c2"}, "c2": {"c"}},
             ["c", "c2", "c"]),
        ]
        for graph, expected in cases:
            with self.subTest(graph=graph):
                self.assertEqual(circle(graph), expected)

    def test_relative_imports_resolve(self):
        known = {"pkg", "pkg.a", "pkg.b", "pkg.sub", "pkg.sub.c"}
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "c.py"
            path.write_text("from .. import a, NAME\nfrom ..b import x\n"
                            "import pkg.sub\n\n\ndef f():\n"
                            "    from . import c\n")
            self.assertEqual(imported("pkg.sub.c", path, known),
                             {"pkg.a", "pkg", "pkg.b", "pkg.sub"})

    def test_every_module_imports(self):
        sys.path.insert(0, str(SCRIPTS))
        try:
            for name in module_files():
                with self.subTest(module=name):
                    try:
                        importlib.import_module(name)
                    except ModuleNotFoundError as e:
                        if (e.name or "").split(".")[0] in {
                                p.name for p in packages()}:
                            raise
                        self.skipTest(f"{e.name} is not installed here")
        finally:
            sys.path.remove(str(SCRIPTS))


class CheckersTest(unittest.TestCase):
    """Debian's mypy and flake8, as they are configured by default."""

    def check(self, tool: str, *options: str) -> None:
        if not shutil.which(tool):
            self.skipTest(f"{tool} is not installed (apt-get install {tool})")
        names = [str(p.relative_to(SCRIPTS)) for p in python_files()]
        result = subprocess.run([tool, *options, *names], cwd=SCRIPTS,
                                text=True, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=LIMIT_S)
        self.assertEqual(result.returncode, 0, result.stdout)

    def test_mypy(self):
        with tempfile.TemporaryDirectory() as cache:
            self.check("mypy", "--scripts-are-modules", "--cache-dir", cache)

    def test_flake8(self):
        self.check("flake8")


if __name__ == "__main__":
    unittest.main()
