# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/apt-repo, read back by this machine's apt with a private state:
what it makes is taken, and refused under another key, when an index was
changed after signing, or out of its dates; each release's devices see only
its suite, and not its debug symbols' component; what apt could not read,
two runs at once, a rebuilt package under a published name, a build for
another release and a killed run leave the repository readable."""

from __future__ import annotations

import datetime
import email.utils
import gzip
import lzma
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path
from typing import Any

SCRIPTS = Path(__file__).resolve().parent.parent
PACKAGE = "vantor-probe"
LIMIT_S = 120
# The last second a 32-bit time_t holds.
TIME_T_END = datetime.datetime(2038, 1, 19, 3, 14, 7,
                               tzinfo=datetime.timezone.utc)


def run(argv: list[str], **kwargs: Any) -> subprocess.CompletedProcess[str]:
    return subprocess.run(argv, text=True, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=LIMIT_S, **kwargs)


def make_deb(folder: Path, version: str, arch: str,
             description: str = "probe", package: str = PACKAGE,
             fields: str = "") -> None:
    tree = folder / f"tree-{package}-{version}-{arch}"
    (tree / "DEBIAN").mkdir(parents=True)
    (tree / "DEBIAN/control").write_text(
        f"Package: {package}\nVersion: {version}\nArchitecture: {arch}\n"
        f"Maintainer: Test <test@localhost>\nDescription: {description}\n"
        + fields)
    out = folder / arch
    out.mkdir(exist_ok=True)
    subprocess.run(["dpkg-deb", "-Zxz", "--root-owner-group", "--build",
                    str(tree), str(out / f"{package}_{version}_{arch}.deb")],
                   check=True, stdout=subprocess.DEVNULL, timeout=LIMIT_S)
    shutil.rmtree(tree)


def make_checkout(root: Path) -> Path:
    """scripts/apt-repo in a tree of its own, whose build-deb is the
    default --from."""
    script = root / "scripts/apt-repo"
    script.parent.mkdir(parents=True)
    for name in ("apt-repo", "lib.sh"):
        shutil.copy2(SCRIPTS / name, script.parent / name)
    # What apt-repo uses of the tree: its package, lib.sh's apt plumbing,
    # and the build dependencies lib.sh reads.
    for package in ("aptrepo", "debpkg"):
        shutil.copytree(SCRIPTS / package, script.parent / package,
                        ignore=shutil.ignore_patterns("__pycache__"))
    (root / "debian").mkdir()
    shutil.copy2(SCRIPTS.parent / "debian/control", root / "debian/control")
    return script


def first(pattern: str, text: str) -> str:
    """The first group of pattern's first match in text."""
    match = re.search(pattern, text, re.M)
    if not match:
        raise AssertionError(f"no {pattern!r} in {text!r}")
    return match[1]


def valid_until(release: str) -> datetime.datetime:
    return email.utils.parsedate_to_datetime(
        first(r"^Valid-Until: (.*)$", release))


class AptRepoTest(unittest.TestCase):
    tmp: Path
    gnupg: Path
    tmpdir: Path
    env: dict[str, str]
    keys: dict[str, str]
    stranger_keyring: Path
    script: Path

    @classmethod
    def setUpClass(cls) -> None:
        cls.tmp = Path(tempfile.mkdtemp(prefix="apt_repo_test."))
        cls.gnupg = cls.tmp / "gnupg"
        cls.gnupg.mkdir(mode=0o700)
        # Throwaway keys' folders go here, where the test can look for
        # what a run left.
        cls.tmpdir = cls.tmp / "tmp"
        cls.tmpdir.mkdir()
        cls.env = dict(os.environ, GNUPGHOME=str(cls.gnupg),
                       TMPDIR=str(cls.tmpdir))
        cls.keys = {}
        for name in ("publisher", "stranger"):
            subprocess.run(["gpg", "--batch", "--quiet", "--passphrase", "",
                            "--quick-gen-key", f"{name} <{name}@localhost>",
                            "ed25519", "sign", "never"],
                           env=cls.env, check=True, timeout=LIMIT_S)
            listing = run(["gpg", "--batch", "--with-colons",
                           "--list-secret-keys", f"{name}@localhost"],
                          env=cls.env).stdout
            cls.keys[name] = first(r"^fpr:+(\w+):", listing)
        cls.stranger_keyring = cls.tmp / "stranger.gpg"
        cls.stranger_keyring.write_bytes(subprocess.run(
            ["gpg", "--batch", "--export", cls.keys["stranger"]],
            env=cls.env, check=True, stdout=subprocess.PIPE,
            timeout=LIMIT_S).stdout)
        for version in ("1.0", "1.1"):
            for arch in ("amd64", "armhf"):
                make_deb(cls.tmp / f"build-{version}/trixie", version, arch)
        for folder, version, archs in [
                ("releases/bookworm", "1.0~deb12u1", ("amd64", "armhf")),
                ("releases/trixie", "1.0~deb13u1", ("amd64",)),
                ("bookworm-1.1", "1.1~deb12u1", ("amd64",)),
                ("debian-update", "0.5+deb11u2", ("amd64",))]:
            for arch in archs:
                make_deb(cls.tmp / folder, version, arch)
        # Its default --from is not whatever this tree has built.
        cls.script = make_checkout(cls.tmp / "checkout")

    @classmethod
    def tearDownClass(cls) -> None:
        subprocess.run(["gpgconf", "--kill", "gpg-agent"], env=cls.env,
                       timeout=LIMIT_S)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def apt_repo(self, *args: str, env: dict[str, str] | None = None) -> str:
        result = run([str(self.script), *args], env=env or self.env)
        self.assertEqual(result.returncode, 0, result.stdout)
        return result.stdout

    def froms(self, given: list[str]) -> list[str]:
        """--from for each [SUITE=]FOLDER, FOLDER in the test's folder."""
        args = []
        for one in given:
            suite, equals, folder = one.rpartition("=")
            args += ["--from", f"{suite}{equals}{self.tmp / folder}"]
        return args

    def apt(self, sources: str, *commands: list[str]
            ) -> tuple[subprocess.CompletedProcess[str], str]:
        """apt-get/apt-cache of this machine on a state of its own that
        knows only `sources` (a deb822 text): update's result, and what
        the commands print after it."""
        state = Path(tempfile.mkdtemp(dir=self.tmp, prefix="apt."))
        (state / "sources.list.d").mkdir()
        (state / "sources.list.d/vantor.sources").write_text(sources)
        (state / "trusted.gpg.d").mkdir()
        (state / "lists/partial").mkdir(parents=True)
        (state / "cache/archives/partial").mkdir(parents=True)
        (state / "status").write_text("")
        options: list[str] = []
        for key, value in [
                ("Dir::Etc::SourceList", "/dev/null"),
                ("Dir::Etc::SourceParts", state / "sources.list.d"),
                ("Dir::Etc::Trusted", state / "none.gpg"),
                ("Dir::Etc::TrustedParts", state / "trusted.gpg.d"),
                ("Dir::State::Lists", state / "lists"),
                ("Dir::State::status", state / "status"),
                ("Dir::Cache", state / "cache"),
                ("APT::Architecture", "amd64"),
                ("APT::Architectures::", "amd64"),
                ("Debug::NoLocking", "1"),
                ("APT::Sandbox::User", "root"),
                # What devices do, whatever this machine's apt.conf says.
                ("Acquire::Check-Valid-Until", "true"),
                ("Acquire::Check-Date", "true")]:
            options += ["-o", f"{key}={value}"]
        update = run(["apt-get", *options, "update"])
        if update.returncode != 0 or "W: " in update.stdout:
            return update, ""
        return update, "".join(
            run([command[0], *options, *command[1:]]).stdout
            for command in commands)

    def candidate(self, repo: Path, keyring: Path | None = None,
                  name: str = "vantor") -> str:
        """The version apt takes from repo's own NAME.sources."""
        sources = (repo / f"{name}.sources").read_text()
        if keyring:
            sources = re.sub(r"(?m)^Signed-By: .*$", f"Signed-By: {keyring}",
                             sources)
        update, policy = self.apt(sources, ["apt-cache", "policy", PACKAGE])
        self.assertEqual(update.returncode, 0, update.stdout)
        self.assertNotIn("W: ", update.stdout)
        return first(r"Candidate: (\S+)", policy)

    def start(self, args: list[str],
              stage: str) -> subprocess.Popen[bytes]:
        """A run of its own process group, stopped at stage."""
        run_ = subprocess.Popen(
            [str(self.script), *args],
            env=dict(self.env, APT_REPO_TEST_PAUSE=stage),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, start_new_session=True)
        assert run_.stdout
        seen, deadline = b"", time.monotonic() + LIMIT_S
        while b"paused at " + stage.encode() not in seen:
            ready, _, _ = select.select(
                [run_.stdout], [], [], max(0, deadline - time.monotonic()))
            chunk = os.read(run_.stdout.fileno(), 4096) if ready else b""
            if not chunk:
                os.killpg(run_.pid, signal.SIGKILL)
                run_.communicate(timeout=LIMIT_S)
                self.fail(f"no pause at {stage}: {seen.decode()}")
            seen += chunk
        return run_

    def agents(self) -> set[str]:
        """The folders of live gpg-agents that this test's runs started."""
        homes = set()
        for cmdline in Path("/proc").glob("[0-9]*/cmdline"):
            try:
                words = cmdline.read_bytes().split(b"\0")
            except OSError:
                continue
            if words[0].endswith(b"gpg-agent") and b"--homedir" in words:
                home = os.fsdecode(words[words.index(b"--homedir") + 1])
                if home.startswith(str(self.tmpdir)):
                    homes.add(home)
        return homes

    def assert_nothing_left(self, repo: Path) -> None:
        """No throwaway key, agent or half-made file of a run."""
        deadline = time.monotonic() + 10
        while self.agents() and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(self.agents(), set())
        self.assertEqual(list(self.tmpdir.iterdir()), [])
        live = os.readlink(repo / "dists")
        self.assertEqual(sorted(p.name for p in repo.glob(".*")
                                if p.name != ".apt-repo"), [live])
        self.assertEqual(list((repo / "pool").rglob(".*")), [])

    def test_what_apt_takes_and_refuses(self) -> None:
        repo = self.tmp / "repo"
        out = self.apt_repo("--from", str(self.tmp / "build-1.0"), str(repo),
                            env=dict(self.env, GNUPGHOME=str(self.tmp / "x")))
        self.assertIn("throwaway key", out)
        sources = (repo / "vantor.sources").read_text()
        self.assertIn(f"Signed-By: {repo}/vantor-archive-keyring.gpg",
                      sources)
        self.assertIn(f"URIs: file:{repo}", sources)
        self.assertNotIn("trusted", sources.lower())

        tampered = self.tmp / "tampered"
        shutil.copytree(repo, tampered)
        index = tampered / "dists/trixie/main/binary-amd64"
        text = (index / "Packages").read_text().replace(
            "Version: 1.0", "Version: 9.9")
        (index / "Packages").write_text(text)
        (index / "Packages.gz").write_bytes(gzip.compress(text.encode()))
        (index / "Packages.xz").write_bytes(lzma.compress(text.encode()))

        cases = [
            ("as made", sources, None),
            ("signed by another key", sources.replace(
                f"{repo}/vantor-archive-keyring.gpg",
                str(self.stranger_keyring)), r"NO_PUBKEY|not signed"),
            ("a changed Packages file",
             sources.replace(str(repo), str(tampered)),
             r"Hash Sum mismatch|unexpected size"),
        ]
        for name, text, refusal in cases:
            with self.subTest(name):
                update, policy = self.apt(
                    text, ["apt-cache", "policy", PACKAGE])
                if refusal is None:
                    self.assertEqual(update.returncode, 0, update.stdout)
                    self.assertRegex(policy, r"Candidate: 1\.0")
                else:
                    self.assertNotEqual(update.returncode, 0, update.stdout)
                    self.assertRegex(update.stdout, refusal)
                    self.assertNotRegex(policy, r"Candidate: [0-9]")

    def test_each_release_has_a_suite_of_its_own(self) -> None:
        repo = self.tmp / "releases-repo"
        key = self.keys["publisher"]
        self.apt_repo("--key", key, "--valid-days", "7",
                      *self.froms(["releases"]), str(repo))
        # Packages for one release: every suite is signed again.
        self.apt_repo("--key", key, "--valid-days", "9",
                      *self.froms(["bookworm=bookworm-1.1"]), str(repo))
        now = datetime.datetime.now(datetime.timezone.utc)
        self.assertEqual((repo / "vantor.sources").read_text(),
                         (repo / "vantor-trixie.sources").read_text())
        for suite, archs, versions, other in [
                ("bookworm", "amd64 armhf", ["1.1~deb12u1", "1.0~deb12u1"],
                 "deb13"),
                ("trixie", "amd64", ["1.0~deb13u1"], "deb12")]:
            with self.subTest(suite):
                release = (repo / f"dists/{suite}/Release").read_text()
                self.assertRegex(release, f"(?m)^Architectures: {archs}$")
                ahead = valid_until(release) - now
                self.assertAlmostEqual(ahead.total_seconds(), 9 * 86400,
                                       delta=600)
                sources = (repo / f"vantor-{suite}.sources").read_text()
                self.assertIn(f"\nSuites: {suite}\nComponents: main\n",
                              sources)
                update, policy = self.apt(sources, ["apt-cache", "policy"],
                                          ["apt-cache", "policy", PACKAGE])
                self.assertEqual(update.returncode, 0, update.stdout)
                self.assertNotIn("W: ", update.stdout)
                self.assertEqual(first(r"Candidate: (\S+)", policy),
                                 versions[0])
                for version in versions:
                    self.assertIn(f" {version} 500", policy)
                self.assertNotIn(other, policy)
                # Release's fields, which unattended-upgrades matches.
                self.assertIn(f"o=Vantor,a={suite},n={suite},l=Vantor,c=main",
                              policy)

    def test_a_key_of_the_callers_and_versions_kept_for_going_back(
            self) -> None:
        repo = self.tmp / "kept"
        key = self.keys["publisher"]
        self.apt_repo("--key", key, "--valid-days", "7", "--from",
                      str(self.tmp / "build-1.0"), str(repo))
        self.apt_repo("--key", key, "--valid-days", "7", "--from",
                      str(self.tmp / "build-1.1"), str(repo))
        release = (repo / "dists/trixie/Release").read_text()
        self.assertRegex(release, r"Architectures: amd64 armhf")
        ahead = (valid_until(release)
                 - datetime.datetime.now(datetime.timezone.utc))
        self.assertAlmostEqual(ahead.total_seconds(), 7 * 86400, delta=600)
        self.assertTrue((repo / "dists/trixie/InRelease").exists())
        self.assertTrue((repo / "dists/trixie/Release.gpg").exists())

        update, policy = self.apt((repo / "vantor.sources").read_text(),
                                  ["apt-cache", "policy", PACKAGE])
        self.assertEqual(update.returncode, 0, update.stdout)
        self.assertRegex(policy, r"Candidate: 1\.1")
        self.assertRegex(policy, r"\b1\.0 500")

        # Signed again with nothing new to add: the pool stays as it was.
        out = self.apt_repo("--key", key, "--url", "http://repo.example/v",
                            str(repo))
        self.assertIn("4 packages (amd64 armhf)", out)
        self.assertIn(key, out)
        sources = (repo / "vantor.sources").read_text()
        self.assertIn("URIs: http://repo.example/v", sources)
        self.assertIn(
            "Signed-By: /etc/apt/keyrings/vantor-archive-keyring.gpg", sources)

    def test_debug_symbols_in_a_component_devices_do_not_follow(
            self) -> None:
        repo = self.tmp / "symbols"
        debug = f"{PACKAGE}-dbgsym"
        for version, build_id in (("1.0", "aa" * 20), ("1.1", "bb" * 20)):
            build = self.tmp / f"debug-{version}"
            make_deb(build, version, "amd64")
            make_deb(build, version, "amd64", package=debug,
                     fields=f"Auto-Built-Package: debug-symbols\n"
                     f"Build-Ids: {build_id}\n")
            out = self.apt_repo("--key", self.keys["publisher"],
                                *self.froms([f"trixie=debug-{version}"]),
                                str(repo))
        self.assertIn("trixie: 2 packages and 2 of debug symbols", out)
        self.assertEqual(
            sorted(p.name for p in (repo / "pool/trixie/debug").iterdir()),
            [f"{debug}_1.0_amd64.deb", f"{debug}_1.1_amd64.deb"])
        self.assertEqual(
            sorted(p.name for p in (repo / "pool/trixie/main").iterdir()),
            [f"{PACKAGE}_1.0_amd64.deb", f"{PACKAGE}_1.1_amd64.deb"])
        release = (repo / "dists/trixie/Release").read_text()
        self.assertRegex(release, r"(?m)^Components: main debug$")
        self.assertRegex(release, r"(?m) debug/binary-amd64/Packages$")
        device = (repo / "vantor-trixie.sources").read_text()
        self.assertIn("\nComponents: main\n", device)
        self.assertNotRegex(device, r"(?m)^Components: .*debug")
        workstation = device.replace("Components: main",
                                     "Components: main debug")
        for name, sources, candidate in [
                ("a device's source", device, None),
                ("a workstation's, with debug", workstation, "1.1"),
                ("that, under another key", workstation.replace(
                    f"{repo}/vantor-archive-keyring.gpg",
                    str(self.stranger_keyring)), None)]:
            with self.subTest(name):
                update, policy = self.apt(sources,
                                          ["apt-cache", "policy", debug],
                                          ["apt-cache", "show", debug])
                if candidate is None:
                    self.assertNotRegex(policy, r"Candidate: [0-9]")
                    continue
                self.assertEqual(update.returncode, 0, update.stdout)
                self.assertNotIn("W: ", update.stdout)
                self.assertRegex(policy, rf"Candidate: {candidate}")
                # The older build stays for the devices that still run it.
                self.assertRegex(policy, r"\b1\.0 500")
                self.assertIn(f"Build-Ids: {'aa' * 20}", policy)
                self.assertIn(" trixie/debug amd64 Packages", policy)

    def test_refuses_what_it_cannot_sign(self) -> None:
        usage = r"(?m)^Usage: scripts/apt-repo \[--key FINGERPRINT\]"
        cases: list[tuple[list[str], int, str]] = [
                (["--key", "0" * 40, "nokey"], 1, "no secret key"),
                (["--from", str(self.tmp / "empty"), "e"], 1, "no packages"),
                (["--from", "stable=x", "s"], 2, "layout before releases"),
                (["--from", "Trixie=x", "s"], 2, "not a release's codename"),
                (["--from", "trixie=", "s"], 2, "no folder"),
                (["--valid-days", "0", "zero"], 2, "whole number of days"),
                (["--valid-days", "7d", "zero"], 2, "whole number of days"),
                (["--help"], 2, usage),
                (["--bogus", "bogus"], 2, usage),
                (["one", "two"], 2, usage),
                (["--key"], 2, usage),
                ([], 2, usage)]
        for args, status, message in cases:
            with self.subTest(args=args):
                result = run([str(self.script), *args], env=self.env,
                             cwd=self.tmp)
                self.assertEqual(result.returncode, status, result.stdout)
                self.assertRegex(result.stdout, message)

    def test_paths_apt_cannot_read(self) -> None:
        keyring = self.tmp / "keyring-elsewhere.gpg"
        cases = [
            # Name, arguments, whether apt can read the result.
            ("a space in DIR, whose keyring is named", ["sp ace"], False),
            ("a comma in DIR, whose keyring is named", ["a,b"], False),
            ("a control character in DIR", ["a\x1bb"], False),
            ("a relative --keyring-path",
             ["--keyring-path", "keys/vantor.gpg", "relative"], False),
            ("a space in --url",
             ["--url", "http://repo.example/a b", "url"], False),
            ("a space in DIR, the keyring named elsewhere",
             ["--keyring-path", str(keyring), "sp ace 2"], True),
            ("a percent sign, a hash and a non-ASCII letter",
             ["100%20#é"], True),
        ]
        build = str(self.tmp / "build-1.0")
        for name, args, taken in cases:
            with self.subTest(name):
                repo = self.tmp / "paths" / args[-1]
                result = run([str(self.script), "--from", build, *args[:-1],
                              str(repo)], env=self.env)
                if not taken:
                    self.assertEqual(result.returncode, 2, result.stdout)
                    self.assertRegex(result.stdout, r"apt-repo: .*apt|Signed")
                    self.assertFalse(repo.exists())
                    continue
                self.assertEqual(result.returncode, 0, result.stdout)
                if "--keyring-path" in args:
                    shutil.copy(repo / "vantor-archive-keyring.gpg", keyring)
                self.assertEqual(self.candidate(repo), "1.0")

    def test_one_run_at_a_time(self) -> None:
        repo = self.tmp / "busy"
        args = ["--from", str(self.tmp / "build-1.0"), str(repo)]
        first = self.start(args, "locked")
        second = run([str(self.script), *args], env=self.env)
        out, _ = first.communicate(b"\n", timeout=LIMIT_S)
        self.assertEqual(first.returncode, 0, out)
        self.assertEqual(second.returncode, 1, second.stdout)
        self.assertIn(f"being changed by another run (pid {first.pid})",
                      second.stdout)
        self.assertNotIn("valid until", second.stdout)
        self.assertEqual(self.candidate(repo), "1.0")

    def test_each_suites_pool_only_grows(self) -> None:
        repo = self.tmp / "grows"
        self.apt_repo("--from", str(self.tmp / "build-1.0"), str(repo))
        rebuilt = self.tmp / "rebuilt-1.0"
        make_deb(rebuilt, "1.0", "amd64", description="rebuilt")
        published = repo / f"pool/trixie/main/{PACKAGE}_1.0_amd64.deb"
        before = published.read_bytes()
        builds = self.tmp / "releases"
        trixie = builds / f"trixie/amd64/{PACKAGE}_1.0~deb13u1_amd64.deb"
        bookworm = builds / f"bookworm/amd64/{PACKAGE}_1.0~deb12u1_amd64.deb"
        planted = repo / "pool/bookworm/main" / trixie.name
        later = f"{trixie}: 1.0~deb13u1 is a build for Debian 13, not for "
        differs = f"{rebuilt}/amd64/{published.name}"
        cases: list[tuple[str, list[str], bool, str | None]] = [
            ("the same files again", ["build-1.0"], False, None),
            ("a rebuilt file under a published name",
             ["trixie=rebuilt-1.0"], False, differs),
            ("two files under one name in one run",
             ["build-1.1", "trixie=rebuilt-1.0"], False, differs),
            ("that name in another suite", ["bookworm=rebuilt-1.0"], False,
             None),
            ("a build for a later release", ["bookworm=releases/trixie"],
             False, later + "bookworm (Debian 12)"),
            ("such a build planted in a pool", [], True,
             later.replace(str(trixie), str(planted)) + "bookworm"),
            ("a build for an earlier release", ["trixie=releases/bookworm"],
             False, f"{bookworm}: 1.0~deb12u1 is a build for Debian 12, "
             "not for trixie (Debian 13)"),
            ("an update of an earlier release, as Debian's",
             ["bookworm=debian-update"], False, None)]
        for name, froms, plant, refusal in cases:
            with self.subTest(name):
                if plant:
                    shutil.copy(trixie, planted)
                live = os.readlink(repo / "dists")
                result = run([str(self.script), *self.froms(froms),
                              str(repo)], env=self.env)
                planted.unlink(missing_ok=True)
                self.assertEqual(published.read_bytes(), before)
                if refusal:
                    self.assertEqual(result.returncode, 1, result.stdout)
                    self.assertIn(refusal, result.stdout)
                    self.assertEqual(os.readlink(repo / "dists"), live)
                else:
                    self.assertEqual(result.returncode, 0, result.stdout)
                    self.assertIn("trixie: 2 packages ", result.stdout)
                self.assertEqual(self.candidate(repo), "1.0")
        self.assertEqual(
            (repo / "pool/bookworm/main" / published.name).read_bytes(),
            (rebuilt / "amd64" / published.name).read_bytes())
        self.assertEqual(self.candidate(repo, name="vantor-bookworm"), "1.0")

    def test_a_killed_run_leaves_a_readable_repository(self) -> None:
        for stage, number, cleaned_at_once in [
                ("keyed", signal.SIGKILL, False),
                ("pooled", signal.SIGKILL, False),
                ("staged", signal.SIGKILL, False),
                ("swapped", signal.SIGKILL, False),
                ("keyed", signal.SIGTERM, True),
                ("staged", signal.SIGINT, True)]:
            with self.subTest(stage=stage, signal=number.name):
                repo = self.tmp / f"killed-{stage}-{number.name}"
                self.apt_repo("--from", str(self.tmp / "build-1.0"), str(repo))
                killed = self.start(["--from", str(self.tmp / "build-1.1"),
                                     str(repo)], stage)
                if cleaned_at_once:
                    killed.send_signal(number)
                else:
                    # The throwaway key's agent lives on its own.
                    self.assertEqual(len(self.agents()), 1)
                    os.killpg(killed.pid, number)
                killed.communicate(timeout=LIMIT_S)
                self.assertIn(self.candidate(repo), ("1.0", "1.1"))
                if cleaned_at_once:
                    self.assertEqual(killed.returncode, 128 + number)
                    self.assert_nothing_left(repo)
                self.apt_repo(str(repo))
                self.assert_nothing_left(repo)
                self.assertEqual(self.candidate(repo),
                                 "1.0" if stage == "keyed" else "1.1")

    def test_dists_of_the_layout_before_is_taken_over(self) -> None:
        repo = self.tmp / "layout"
        self.apt_repo("--from", str(self.tmp / "build-1.0"), str(repo))
        live = repo / os.readlink(repo / "dists")
        (repo / "dists").unlink()
        live.rename(repo / "dists")
        self.apt_repo("--from", str(self.tmp / "build-1.1"), str(repo))
        self.assertTrue((repo / "dists").is_symlink())
        self.assertEqual(self.candidate(repo), "1.1")
        self.assert_nothing_left(repo)

    def test_what_the_default_folder_feeds(self) -> None:
        machine = first(r"(?m)^VERSION_CODENAME=\W?(\w+)",
                        Path("/etc/os-release").read_text())
        for number, (name, builds, suites, note) in enumerate([
                ("a folder per release",
                 [("bookworm", "1.0~deb12u1"), ("trixie", "1.0~deb13u1")],
                 {"bookworm": "1.0~deb12u1", "trixie": "1.0~deb13u1"}, ""),
                ("the layout before releases", [("", "0.9")],
                 {machine: "0.9"}, f"taken as {machine}, this machine's"),
                ("both, the <arch> folders stale",
                 [("", "0.9"), ("trixie", "1.0~deb13u1")],
                 {"trixie": "1.0~deb13u1"}, "left out")]):
            with self.subTest(name):
                checkout = self.tmp / f"default-{number}"
                script = make_checkout(checkout)
                for folder, version in builds:
                    make_deb(checkout / "build-deb" / folder, version,
                             "amd64")
                repo = self.tmp / f"default-repo-{number}"
                result = run([str(script), str(repo)], env=self.env)
                self.assertEqual(result.returncode, 0, result.stdout)
                self.assertIn(note, result.stdout)
                self.assertEqual(sorted(os.listdir(repo / "dists")),
                                 sorted(suites))
                for suite, version in suites.items():
                    self.assertEqual(
                        self.candidate(repo, name=f"vantor-{suite}"), version)

    def test_the_layout_before_releases_is_taken_over(self) -> None:
        repo = self.tmp / "before-releases"
        legacy = repo / "pool/main"
        legacy.mkdir(parents=True)
        for arch in ("amd64", "armhf"):
            shutil.copy2(self.tmp / f"build-1.0/trixie/{arch}"
                         f"/{PACKAGE}_1.0_{arch}.deb", legacy)
        kept = sorted(legacy.iterdir())
        # Its indexes as the first runs left them, and its devices' source.
        (repo / "dists/stable").mkdir(parents=True)
        stable = (f"Types: deb\nURIs: file:{repo}\nSuites: stable\n"
                  "Components: main\n"
                  f"Signed-By: {repo}/vantor-archive-keyring.gpg\n")
        (repo / "vantor.sources").write_text(stable)
        out = self.apt_repo(*self.froms(["bookworm=bookworm-1.1"]),
                            str(repo))
        self.assertIn("stable, of the layout before releases, is signed "
                      "again as it is", out)
        self.assertEqual(sorted(legacy.iterdir()), kept)
        self.assertEqual((repo / "vantor.sources").read_text(), stable)
        self.assertEqual(self.candidate(repo), "1.0")
        self.assertEqual(self.candidate(repo, name="vantor-bookworm"),
                         "1.1~deb12u1")
        self.assert_nothing_left(repo)

    def test_valid_until_stays_where_devices_read_it(self) -> None:
        refused = run([str(self.script), "--valid-days", "36500",
                       str(self.tmp / "century")], env=self.env)
        self.assertEqual(refused.returncode, 2, refused.stdout)
        most = int(first(r"at most (\d+)", refused.stdout))
        self.assertFalse((self.tmp / "century").exists())
        repo = self.tmp / "longest"
        for days, status in [(most + 1, 2), (most, 0)]:
            with self.subTest(days=days):
                result = run([str(self.script), "--valid-days", str(days),
                              "--from", str(self.tmp / "build-1.0"),
                              str(repo)], env=self.env)
                self.assertEqual(result.returncode, status, result.stdout)
        release = (repo / "dists/trixie/Release").read_text()
        until = valid_until(release)
        self.assertLessEqual(until, TIME_T_END)
        # The limit, not a wrapped date: within two days of it.
        self.assertGreater(until, TIME_T_END - datetime.timedelta(days=2))
        written = first(r"^Valid-Until: (.*)$", release)
        self.assertIn(f"valid until {written}, signed by", result.stdout)
        self.assertEqual(self.candidate(repo), "1.0")

    def test_dates_apt_refuses(self) -> None:
        key = self.keys["publisher"]
        now = datetime.datetime.now(datetime.timezone.utc)
        day = datetime.timedelta(days=1)
        base = self.tmp / "dated"
        self.apt_repo("--key", key, "--from", str(self.tmp / "build-1.0"),
                      str(base))
        for name, date, until, refusal in [
                ("signed again as it was", now, now + day, None),
                ("expired", now - 10 * day, now - day, r"is expired"),
                ("not valid yet", now + day, now + 30 * day,
                 r"not valid yet")]:
            with self.subTest(name):
                repo = self.tmp / f"dated-{name.replace(' ', '-')}"
                shutil.copytree(base, repo, symlinks=True)
                suite = repo / "dists/trixie"
                release = (suite / "Release").read_text()
                for field, when in (("Date", date), ("Valid-Until", until)):
                    release = re.sub(
                        rf"(?m)^{field}: .*$",
                        f"{field}: {email.utils.format_datetime(when)}",
                        release)
                (suite / "Release").write_text(release)
                for how, out in (("--clearsign", "InRelease"),
                                 ("--detach-sign", "Release.gpg")):
                    subprocess.run(
                        ["gpg", "--batch", "--yes", "--armor", "--local-user",
                         key, how, "-o", str(suite / out),
                         str(suite / "Release")],
                        env=self.env, check=True, timeout=LIMIT_S)
                sources = (repo / "vantor.sources").read_text().replace(
                    str(base), str(repo))
                update, policy = self.apt(sources,
                                          ["apt-cache", "policy", PACKAGE])
                if refusal is None:
                    self.assertRegex(policy, r"Candidate: 1\.0")
                else:
                    self.assertRegex(update.stdout, refusal)
                    self.assertNotRegex(policy, r"Candidate: [0-9]")


if __name__ == "__main__":
    unittest.main()
