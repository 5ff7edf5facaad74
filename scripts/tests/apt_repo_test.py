# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/apt-repo, read back by this machine's apt with a private state:
what it makes is taken, and refused under another key or when an index was
changed after signing."""

import datetime
import email.utils
import gzip
import lzma
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

SCRIPTS = Path(__file__).resolve().parent.parent
PACKAGE = "vantor-probe"


def run(argv, **kwargs):
    return subprocess.run(argv, text=True, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, **kwargs)


def make_deb(folder: Path, version: str, arch: str) -> None:
    tree = folder / f"tree-{version}-{arch}"
    (tree / "DEBIAN").mkdir(parents=True)
    (tree / "DEBIAN/control").write_text(
        f"Package: {PACKAGE}\nVersion: {version}\nArchitecture: {arch}\n"
        "Maintainer: Test <test@localhost>\nDescription: probe\n")
    out = folder / arch
    out.mkdir(exist_ok=True)
    subprocess.run(["dpkg-deb", "-Zxz", "--root-owner-group", "--build",
                    str(tree), str(out / f"{PACKAGE}_{version}_{arch}.deb")],
                   check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(tree)


class AptRepoTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = Path(tempfile.mkdtemp(prefix="apt_repo_test."))
        cls.gnupg = cls.tmp / "gnupg"
        cls.gnupg.mkdir(mode=0o700)
        cls.env = dict(os.environ, GNUPGHOME=str(cls.gnupg))
        cls.keys = {}
        for name in ("publisher", "stranger"):
            subprocess.run(["gpg", "--batch", "--quiet", "--passphrase", "",
                            "--quick-gen-key", f"{name} <{name}@localhost>",
                            "ed25519", "sign", "never"],
                           env=cls.env, check=True)
            listing = run(["gpg", "--batch", "--with-colons",
                           "--list-secret-keys", f"{name}@localhost"],
                          env=cls.env).stdout
            cls.keys[name] = re.search(r"^fpr:+(\w+):", listing, re.M)[1]
        cls.stranger_keyring = cls.tmp / "stranger.gpg"
        cls.stranger_keyring.write_bytes(subprocess.run(
            ["gpg", "--batch", "--export", cls.keys["stranger"]],
            env=cls.env, check=True, stdout=subprocess.PIPE).stdout)
        for version in ("1.0", "1.1"):
            for arch in ("amd64", "armhf"):
                make_deb(cls.tmp / f"build-{version}", version, arch)
        # A checkout of its own, so the default --from (its build-deb) is
        # not whatever this one has built.
        cls.script = cls.tmp / "checkout/scripts/apt-repo"
        cls.script.parent.mkdir(parents=True)
        for name in ("apt-repo", "lib.sh"):
            shutil.copy2(SCRIPTS / name, cls.script.parent / name)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def apt_repo(self, *args, env=None):
        result = run([str(self.script), *args], env=env or self.env)
        self.assertEqual(result.returncode, 0, result.stdout)
        return result.stdout

    def apt(self, sources: str, command: list[str]):
        """apt-get/apt-cache of this machine on a state of its own that
        knows only `sources` (a deb822 text)."""
        state = Path(tempfile.mkdtemp(dir=self.tmp, prefix="apt."))
        (state / "sources.list.d").mkdir()
        (state / "sources.list.d/vantor.sources").write_text(sources)
        (state / "trusted.gpg.d").mkdir()
        (state / "lists/partial").mkdir(parents=True)
        (state / "cache/archives/partial").mkdir(parents=True)
        (state / "status").write_text("")
        options = []
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
                ("APT::Sandbox::User", "root")]:
            options += ["-o", f"{key}={value}"]
        update = run(["apt-get", *options, "update"])
        if update.returncode != 0 or "W: " in update.stdout:
            return update, ""
        return update, run([command[0], *options, *command[1:]]).stdout

    def test_what_apt_takes_and_refuses(self):
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
        index = tampered / "dists/stable/main/binary-amd64"
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

    def test_a_key_of_the_callers_and_versions_kept_for_going_back(self):
        repo = self.tmp / "kept"
        key = self.keys["publisher"]
        self.apt_repo("--key", key, "--valid-days", "7", "--from",
                      str(self.tmp / "build-1.0"), str(repo))
        self.apt_repo("--key", key, "--valid-days", "7", "--from",
                      str(self.tmp / "build-1.1"), str(repo))
        release = (repo / "dists/stable/Release").read_text()
        self.assertRegex(release, r"Architectures: amd64 armhf")
        valid_until = email.utils.parsedate_to_datetime(
            re.search(r"^Valid-Until: (.*)$", release, re.M)[1])
        ahead = valid_until - datetime.datetime.now(datetime.timezone.utc)
        self.assertAlmostEqual(ahead.total_seconds(), 7 * 86400, delta=600)
        self.assertTrue((repo / "dists/stable/InRelease").exists())
        self.assertTrue((repo / "dists/stable/Release.gpg").exists())

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

    def test_refuses_what_it_cannot_sign(self):
        for args in (["--key", "0" * 40, str(self.tmp / "nokey")],
                     ["--valid-days", "0", str(self.tmp / "zero")],
                     ["--from", str(self.tmp / "empty"), str(self.tmp / "e")]):
            with self.subTest(args=args):
                result = run([str(self.script), *args], env=self.env)
                self.assertNotEqual(result.returncode, 0, result.stdout)


if __name__ == "__main__":
    unittest.main()
