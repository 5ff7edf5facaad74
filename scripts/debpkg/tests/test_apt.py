# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

from __future__ import annotations

import contextlib
import io
import unittest
from pathlib import Path
from typing import Any, Callable, TypeVar

from debpkg import apt
from debpkg.common import Failure, Result
from debpkg.tests.fakes import Programs

SECURITY = ("http://mirror.example/debian-security "
            "bookworm-security/main armhf Packages")
UPDATE_FAILED = f"""\
Hit:1 http://mirror.example/debian bookworm InRelease
Ign:2 http://mirror.example/debian bookworm-updates InRelease
Err:4 {SECURITY}
  File has unexpected size (359552 != 360800). Mirror sync in progress?
Err:12 http://mirror.example/debian bookworm-updates InRelease
E: Failed to fetch http://mirror.example/debian-security/dists/...
W: Some index files failed to download. They have been ignored.
"""
INDEX_TARGETS = """\
http://mirror.example/debian/ bookworm main amd64
http://mirror.example/debian-security/ bookworm-security main armhf
http://mirror.example/debian/ bookworm main amd64
http://mirror.example/debian/ bookworm-updates main armhf
"""
FAILED = apt.Update(ok=False, failed_indexes=(SECURITY,),
                    failed_suites=("bookworm-security",))
QUIET = apt.Settings(retries=3, pause_s=0.5)
T = TypeVar("T")


def quietly(call: Callable[..., T], *args: Any) -> tuple[T, str]:
    """call's result and what it wrote on standard error."""
    errors = io.StringIO()
    with contextlib.redirect_stderr(errors), \
            contextlib.redirect_stdout(io.StringIO()):
        result = call(*args)
    return result, errors.getvalue()


class ParseTest(unittest.TestCase):
    def test_failed_indexes_and_suites(self) -> None:
        indexes = apt.failed_indexes(UPDATE_FAILED)
        self.assertEqual(indexes, [
            SECURITY,
            "http://mirror.example/debian bookworm-updates InRelease"])
        self.assertEqual(apt.failed_suites(indexes + ["odd"]),
                         ["bookworm-security", "bookworm-updates"])
        self.assertEqual(apt.failed_indexes("Hit:1 x bookworm InRelease"),
                         [])

    def test_error_lines(self) -> None:
        self.assertEqual([line[:3] for line in apt.error_lines(UPDATE_FAILED)],
                         ["E: ", "W: "])

    def test_sources_without(self) -> None:
        self.assertEqual(apt.sources_without(INDEX_TARGETS + "\n",
                                             {"bookworm-security"}), [
            "deb [arch=amd64] http://mirror.example/debian/ bookworm main",
            "deb [arch=armhf] http://mirror.example/debian/ "
            "bookworm-updates main"])

    def test_settings(self) -> None:
        cases: list[tuple[dict[str, str], apt.Settings]] = [
                ({}, apt.Settings(3, 20, False)),
                ({"APT_RETRIES": "", "APT_SIMULATE": "yes"},
                 apt.Settings(3, 20, False)),
                ({"APT_RETRIES": "1", "APT_RETRY_PAUSE": "0.5",
                  "APT_SIMULATE": "1"}, apt.Settings(1, 0.5, True))]
        for env, expected in cases:
            with self.subTest(env=env):
                self.assertEqual(apt.Settings.from_environment(env), expected)
        with self.assertRaises(Failure) as caught:
            apt.Settings.from_environment({"APT_RETRIES": "three"})
        self.assertEqual(caught.exception.status, 2)


class UpdateTest(unittest.TestCase):
    def test_retries_with_a_pause(self) -> None:
        for outcomes, ok, tries in [([100, 100, 0], True, 3),
                                    ([0], True, 1),
                                    ([100, 100, 100, 0], False, 3)]:
            with self.subTest(outcomes=outcomes):
                answers = iter(outcomes)
                programs = Programs({"apt-get update": lambda _: Result(
                    next(answers), UPDATE_FAILED)})
                pauses: list[float] = []
                result, said = quietly(apt.update, QUIET, programs,
                                       pauses.append)
                self.assertEqual(result.ok, ok)
                self.assertEqual(len(programs.calls), tries)
                self.assertEqual(pauses, [0.5] * (tries - 1))
                if ok:
                    continue
                self.assertEqual(result.failed_suites,
                                 ("bookworm-security", "bookworm-updates"))
                self.assertIn("try 2 of 3): " + SECURITY, said)
                self.assertIn(f"apt:   {SECURITY}\n", said)
                self.assertIn("E: Failed to fetch", said)
                self.assertNotIn("Hit:1", said)


class InstallTest(unittest.TestCase):
    def programs(self, second: int = 0) -> Programs:
        self.sources = ""

        def install(args: list[str]) -> Result:
            listed = [a for a in args if a.startswith("Dir::Etc::SourceList=")]
            if not listed:
                return Result(100, "E: held broken packages\n")
            self.sources = Path(listed[0].split("=", 1)[1]).read_text()
            return Result(second, "Inst libfoo:armhf (1)\nE: held\n")
        return Programs({
            "apt-get install": install,
            "apt-get indextargets": Result(0, INDEX_TARGETS),
            "dpkg": Result(0, "amd64\n"),
            "dpkg-query": lambda args: Result(
                0, "install ok installed" if args[-1] == "libbar" else ""),
        })

    def installs(self, programs: Programs) -> list[list[str]]:
        return [c for c in programs.calls if "install" in c]

    def test_first_install_that_works_is_the_only_one(self) -> None:
        programs = Programs({})
        self.assertTrue(apt.install(["libfoo"], FAILED, QUIET, programs))
        self.assertEqual(len(programs.calls), 1)
        self.assertIn("--no-remove", programs.calls[0])

    def test_no_failed_suite_no_second_try(self) -> None:
        programs = self.programs()
        ok, said = quietly(apt.install, ["libfoo:armhf", "libbar"],
                           apt.Update(ok=True), QUIET, programs)
        self.assertFalse(ok)
        self.assertEqual(len(self.installs(programs)), 1)
        self.assertIn("apt: could not install libfoo:armhf libbar", said)

    def test_again_without_the_failed_suite(self) -> None:
        for second, ok in [(0, True), (100, False)]:
            with self.subTest(second=second):
                programs = self.programs(second)
                result, said = quietly(apt.install, ["libfoo:armhf", "libbar"],
                                       FAILED, QUIET, programs)
                self.assertEqual(result, ok)
                first, again = self.installs(programs)
                self.assertIn("--no-remove", again)
                self.assertEqual(again[-2:], ["libfoo:armhf", "libbar"])
                self.assertNotIn("bookworm-security", self.sources)
                self.assertIn("bookworm-updates main", self.sources)
                self.assertIn("installing without bookworm-security", said)
                if not ok:
                    self.assertIn("apt: not installed: libfoo:armhf; "
                                  f"failing index: {SECURITY}", said)

    def test_pins_allow_downgrades(self) -> None:
        programs = self.programs()
        programs.answers.update({
            "apt-cache depends": Result(0, "libfoo:armhf\n"),
            "dpkg-query libfoo:amd64": Result(0, "libfoo:amd64 2 same\n"),
            "apt-cache show": Result(
                0, "Package: libfoo\nVersion: 1\nArchitecture: armhf\n"),
            "apt-cache madison": Result(0, " libfoo | 1 | x\n")})
        ok, said = quietly(apt.install, ["libfoo:armhf", "libbar"], FAILED,
                           QUIET, programs)
        self.assertTrue(ok)
        again = self.installs(programs)[1]
        self.assertIn("--allow-downgrades", again)
        self.assertEqual(again[-2:], ["libfoo:amd64=1", "libfoo:armhf=1"])
        self.assertIn("both architectures have: libfoo:amd64=1", said)


class EnsureTest(unittest.TestCase):
    def test_only_what_is_missing(self) -> None:
        programs = Programs({"dpkg-query": lambda args: Result(
            0, "install ok installed" if args[-1] == "dpkg" else
            "deinstall ok config-files")})
        self.assertTrue(apt.ensure(["dpkg"], QUIET, programs))
        self.assertEqual(len(programs.calls), 1)
        ok, _ = quietly(apt.ensure, ["dpkg", "libfoo:armhf"], QUIET, programs)
        self.assertTrue(ok)
        self.assertEqual(programs.calls[-1][-1], "libfoo:armhf")
        self.assertEqual(len(programs.called("apt-get update")), 1)

    def test_alternatives(self) -> None:
        """a|b (a build dependency named by release): there when either
        is installed; else the first that apt offers goes in."""
        policy = {"libboost1.83-dev": "  Candidate: (none)\n",
                  "libboost1.81-dev": "  Installed: (none)\n"
                                      "  Candidate: 1.81.0-5\n",
                  "libnone-dev": ""}
        cases: list[tuple[str, set[str], str | None]] = [
                ("libboost1.83-dev|libboost1.81-dev", {"libboost1.81-dev"},
                 None),
                ("libboost1.83-dev|libboost1.81-dev", set(),
                 "libboost1.81-dev"),
                ("libboost1.81-dev|libboost1.83-dev", set(),
                 "libboost1.81-dev"),
                ("libnone-dev|libboost1.83-dev", set(), "libnone-dev")]
        for entry, installed, installs in cases:
            def query(args: list[str], have: set[str] = installed) -> Result:
                return Result(0, "install ok installed" if args[-1] in have
                              else "")
            programs = Programs({
                "dpkg-query": query,
                "apt-cache policy": lambda args: Result(
                    0, policy.get(args[-1], ""))})
            with self.subTest(entry=entry, installed=installed):
                ok, _ = quietly(apt.ensure, [entry], QUIET, programs)
                self.assertTrue(ok)
                done = programs.called("apt-get install")
                self.assertEqual(done[0][-1] if done else None, installs)


if __name__ == "__main__":
    unittest.main()
