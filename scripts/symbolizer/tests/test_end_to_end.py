# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/symbolize on a real core: the armhf sample of build-deb, run
under qemu-arm with both plug-ins and killed with SIGSEGV, whose core
(qemu writes the guest's) is read against a repository that
scripts/apt-repo made. The packages are those of this machine's Debian
release, whose armhf C library qemu-arm runs them with."""

from __future__ import annotations

import os
import re
import resource
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

SCRIPTS = Path(__file__).resolve().parents[2]
ROOT = SCRIPTS.parent
CROSS = Path("/usr/arm-linux-gnueabihf")
TRIPLET = "arm-linux-gnueabihf"
LIMIT_S = 600
START_S = 60


def release() -> str:
    text = Path("/etc/os-release").read_text()
    match = re.search(r"^VERSION_CODENAME=\W?(\w+)", text, re.MULTILINE)
    return match[1] if match else ""


def unlimited_cores() -> None:
    resource.setrlimit(resource.RLIMIT_CORE, (resource.RLIM_INFINITY,
                                              resource.RLIM_INFINITY))


class EndToEndTest(unittest.TestCase):
    def setUp(self):
        self.builds = ROOT / "build-deb" / release() / "armhf"
        if not shutil.which("qemu-arm") or not (CROSS / "lib").is_dir():
            self.skipTest("no qemu-arm or armhf C library "
                          "(qemu-user, libc6-armhf-cross)")
        if not any(self.builds.glob("vantor-device-sample-dbgsym_*.deb")):
            self.skipTest(f"no armhf packages in {self.builds}")
        self.folder = tempfile.TemporaryDirectory(prefix="symbolize_test.")
        self.tmp = Path(self.folder.name)

    def tearDown(self):
        self.folder.cleanup()

    def crash(self) -> Path:
        """The sample's core, with its threads up and waiting."""
        device = self.tmp / "device"
        for name in ("vantor-device", "vantor-device-sample"):
            deb, = self.builds.glob(f"{name}_*_armhf.deb")
            subprocess.run(["dpkg-deb", "-x", str(deb), str(device)],
                           check=True, timeout=LIMIT_S)
        libs = device / "usr/lib" / TRIPLET
        (self.tmp / "config").mkdir()
        run = self.tmp / "run"
        run.mkdir()
        env = dict(os.environ, XDG_CONFIG_HOME=str(self.tmp / "config"),
                   VANTOR_PLUGIN_DIR=str(libs / "vantor-plugins"))
        sample = subprocess.Popen(
            ["qemu-arm", "-L", str(CROSS), "-E",
             f"LD_LIBRARY_PATH=/lib:{libs}", str(device / "usr/bin/"
                                                 "assistant_sample"),
             str(ROOT / "config/default_config.json")],
            cwd=run, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, preexec_fn=unlimited_cores)
        assert sample.stdout
        seen, deadline = b"", time.monotonic() + START_S
        # The plug-ins' threads run once both are loaded.
        while seen.count(b"Loaded plug-in") < 2:
            line = sample.stdout.readline()
            if not line or time.monotonic() > deadline:
                sample.kill()
                sample.communicate(timeout=LIMIT_S)
                self.skipTest(f"the sample did not start under qemu-arm: "
                              f"{seen.decode(errors='replace')[-2000:]}")
            seen += line
        time.sleep(2)
        sample.send_signal(signal.SIGSEGV)
        sample.communicate(timeout=LIMIT_S)
        cores = list(run.glob("qemu_assistant_sample_*.core"))
        if not cores:
            self.skipTest("qemu-arm wrote no core here")
        return cores[0]

    def test_a_crash_of_the_sample(self):
        core = self.crash()
        repo = self.tmp / "repo"
        env = dict(os.environ, GNUPGHOME=str(self.tmp / "gnupg"),
                   XDG_CACHE_HOME=str(self.tmp / "cache"))
        published = subprocess.run(
            [str(SCRIPTS / "apt-repo"), "--from",
             f"{release()}={self.builds.parent}", str(repo)],
            env=env, text=True, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, timeout=LIMIT_S)
        self.assertEqual(published.returncode, 0, published.stdout)
        args = [str(SCRIPTS / "symbolize"), "--repo", str(repo)]
        symbols = subprocess.run(
            [*args, "--sysroot", str(CROSS), "--sysroot", "/", str(core)],
            env=env, text=True, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, timeout=LIMIT_S)
        out = symbols.stdout
        self.assertEqual(symbols.returncode, 0, out + symbols.stderr)
        self.assertRegex(symbols.stderr, r"symbolize: took \d+\.\d+ s")
        threads = re.findall(r"(?m)^Thread \d+ ", out)
        self.assertGreaterEqual(len(threads), 3, out)
        # A frame of ours, named, at its file and line.
        self.assertRegex(out, r"(?m)^#\d+ .*core::\w+.* at \./core/\w+\.cc:"
                         r"\d+$")
        self.assertRegex(out, r"(?m)^#\d+ .*main \(.* at \./sample/"
                         r"assistant_sample\.cc:\d+$")
        self.assertIn("vantor-device-sample-dbgsym", out)

        # Without Debian's libraries the core is still read, and says why
        # frames lack names.
        bare = subprocess.run([*args, str(core)], env=env, text=True,
                              stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=LIMIT_S)
        self.assertEqual(bare.returncode, 0, bare.stdout + bare.stderr)
        self.assertIn("need --sysroot DIR", bare.stdout)

        # A repository without the build that crashed: this machine's
        # architecture's build of the same release.
        others = self.builds.parent / "amd64"
        if not any(others.glob("vantor-device-sample-dbgsym_*.deb")):
            self.skipTest(f"no amd64 packages in {others} for a repository "
                          "without the crashed build")
        other = self.tmp / "other"
        (other / "amd64").mkdir(parents=True)
        for name in ("vantor-device-sample-dbgsym", "vantor-device-sample"):
            shutil.copy(next(others.glob(f"{name}_*.deb")), other / "amd64")
        none = subprocess.run(
            [str(SCRIPTS / "apt-repo"), "--from", f"{release()}={other}",
             str(self.tmp / "other-repo")], env=env, text=True,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            timeout=LIMIT_S)
        self.assertEqual(none.returncode, 0, none.stdout)
        refused = subprocess.run(
            [str(SCRIPTS / "symbolize"), "--repo",
             str(self.tmp / "other-repo"), str(core)], env=env, text=True,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=LIMIT_S)
        self.assertEqual(refused.returncode, 1, refused.stdout)
        self.assertIn("no package's assistant_sample spans", refused.stderr)


if __name__ == "__main__":
    unittest.main()
