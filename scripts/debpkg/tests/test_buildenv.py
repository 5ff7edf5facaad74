# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import json
import unittest
from pathlib import Path
from typing import Any

from debpkg import buildenv

CONTROL = """\
Source: vantor-device
Section: misc
Build-Depends: cmake,
               libboost1.83-dev:native | libboost1.81-dev:native,
               libgtest-dev <!nocheck>,
Standards-Version: 4.6.2

Package: vantor-device
Depends: ${misc:Depends}
"""
MOUNTINFO = """\
22 1 254:0 / / rw,relatime - ext4 /dev/vda rw
90 22 0:5 / /work/build-env/roots/trixie.x/proc rw - proc proc rw
91 22 254:0 /work /work/build-env/roots/trixie.x/work/main ro - ext4 /dev/vda
92 22 254:0 / /work/build-env/roots/trixie.xy rw - ext4 /dev/vda rw
93 22 0:40 / /mnt/with\\040space rw - tmpfs tmpfs rw
"""


class KeyTest(unittest.TestCase):
    def test_build_depends(self) -> None:
        for control, depends in [
                (CONTROL, "cmake, libboost1.83-dev:native | "
                          "libboost1.81-dev:native, libgtest-dev <!nocheck>,"),
                ("Build-Depends: cmake\nX: y\n", "cmake"),
                ("Source: x\n", "")]:
            with self.subTest(control=control[:20]):
                self.assertEqual(buildenv.build_depends(control), depends)

    def test_key_follows_every_input(self) -> None:
        """A change of any input makes another environment; the order of
        the package list does not."""
        base: dict[str, Any] = {
            "suite": "trixie", "uri": "http://m/debian",
            "arches": ("amd64", "armhf"), "packages": ("lintian", "python3"),
            "depends": "cmake"}
        key = buildenv.key(**base)
        self.assertEqual(len(key), 16)
        self.assertEqual(
            buildenv.key(**dict(base, packages=("python3", "lintian"))), key)
        for name, other in [("suite", "bookworm"), ("uri", "http://n/debian"),
                            ("arches", ("amd64",)), ("packages", ("lintian",)),
                            ("depends", "cmake, ninja-build")]:
            with self.subTest(name=name):
                changed = dict(base, **{name: other})
                self.assertNotEqual(buildenv.key(**changed), key)

    def test_cache_dir(self) -> None:
        cases: list[tuple[dict[str, str], str]] = [
                ({}, "/t/build-env"),
                ({"BUILD_ENV_DIR": ""}, "/t/build-env"),
                ({"BUILD_ENV_DIR": "/c/envs"}, "/c/envs")]
        for env, folder in cases:
            with self.subTest(env=env):
                self.assertEqual(buildenv.cache_dir(Path("/t"), env),
                                 Path(folder))


class EnterTest(unittest.TestCase):
    def test_argv(self) -> None:
        for network, unshared in [(False, ["--net"]), (True, [])]:
            with self.subTest(network=network):
                argv = buildenv.enter_argv(
                    Path("/r"), ["dpkg-buildpackage", Path("-us")],
                    binds=[buildenv.Bind(Path("/w/out"), writable=True),
                           buildenv.Bind(Path("/usr/bin/qemu-arm-static"),
                                         target=Path("/usr/bin/qemu-arm"))],
                    cwd=Path("/w/out/src"), network=network,
                    env={"DEB_BUILD_OPTIONS": "nocheck", "HOME": "/h"})
                self.assertEqual(argv[:5], ["unshare", "--mount", "--pid",
                                            "--fork", "--kill-child"])
                self.assertEqual(argv[5:-6], unshared)
                self.assertEqual(argv[-6], "--")
                self.assertEqual(argv[-4:-1], ["-m", "debpkg", "enter"])
                plan = json.loads(argv[-1])
                self.assertEqual(plan["argv"], ["dpkg-buildpackage", "-us"])
                self.assertEqual(plan["binds"], [
                    ["/w/out", "/w/out", True],
                    ["/usr/bin/qemu-arm-static", "/usr/bin/qemu-arm", False]])
                self.assertEqual(plan["cwd"], "/w/out/src")
                # This machine's environment stays out; ours wins.
                self.assertEqual(plan["env"]["HOME"], "/h")
                self.assertTrue(plan["env"]["PATH"].startswith("/usr/local"))
                self.assertNotIn("PYTHONPATH", plan["env"])

    def test_mounted_below(self) -> None:
        for folder, points in [
                ("/work/build-env/roots/trixie.x",
                 ["/work/build-env/roots/trixie.x/proc",
                  "/work/build-env/roots/trixie.x/work/main"]),
                ("/work/build-env/roots/trixie.xy",
                 ["/work/build-env/roots/trixie.xy"]),
                ("/mnt/with space", ["/mnt/with space"]),
                ("/work/other", [])]:
            with self.subTest(folder=folder):
                self.assertEqual(buildenv.mounted_below(Path(folder),
                                                        MOUNTINFO), points)


if __name__ == "__main__":
    unittest.main()
