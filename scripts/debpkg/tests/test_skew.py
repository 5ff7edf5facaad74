# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import tempfile
import unittest
from pathlib import Path

from debpkg import skew
from debpkg.common import Result
from debpkg.tests.fakes import Programs

DEPENDS = """\
libavahi-compat-libdnssd-dev:armhf
  Depends: libavahi-compat-libdnssd1:armhf
  Depends: libc6-dev:armhf
 |Depends: libc-dev:armhf
  PreDepends: libzstd1:armhf
  Depends: <libsystemd0:armhf>
  Depends: pkgconf
libzstd1:armhf
  Depends: libc6:any
  Depends: libc6:amd64
"""

# apt writes Version before Architecture in each record.
SHOW = """\
Package: liblzma5
Source: xz-utils
Version: 5.4.1-1+deb12u1
Architecture: armhf
Multi-Arch: same
Description: XZ-format compression library
 A long description.

Package: libzstd1
Version: 1.5.4+dfsg2-5
Architecture: armhf
"""

MADISON = """\
  liblzma5 | 5.4.1-1+deb12u1 | http://mirror.example/debian bookworm/main \
amd64 Packages
   libzstd1 |    1.5.4+dfsg2-5 | http://mirror.example/debian bookworm/main \
amd64 Packages
"""


class ParseTest(unittest.TestCase):
    def test_deb_depends(self) -> None:
        for field, names in [
                ("libc6 (>= 2.34), libavahi-client3 (>= 0.6.16)",
                 ["libc6", "libavahi-client3"]),
                ("cmake, libgtest-dev | googletest, pkgconf:native",
                 ["cmake", "libgtest-dev", "googletest", "pkgconf:native"]),
                ("", [])]:
            with self.subTest(field=field):
                self.assertEqual(skew.deb_depends(field), names)

    def test_foreign_needs(self) -> None:
        # Alternatives, virtual packages, the build architecture and :any
        # are left out; each name once.
        self.assertEqual(skew.foreign_needs(DEPENDS, "amd64"), [
            ("libavahi-compat-libdnssd-dev", "armhf"),
            ("libavahi-compat-libdnssd1", "armhf"),
            ("libc6-dev", "armhf"), ("libzstd1", "armhf")])

    def test_multiarch_same(self) -> None:
        query = ("liblzma5:amd64 5.4.1-1+deb12u2 same\n"
                 "dpkg:amd64 1.21.22 foreign\n"
                 "libgone:amd64  same\n")  # Known to dpkg, not installed.
        self.assertEqual(skew.multiarch_same(query),
                         [("liblzma5:amd64", "5.4.1-1+deb12u2")])

    def test_candidates_read_whole_records(self) -> None:
        self.assertEqual(skew.candidates(SHOW), {
            "liblzma5": ("armhf", "5.4.1-1+deb12u1"),
            "libzstd1": ("armhf", "1.5.4+dfsg2-5")})

    def test_madison_columns_padded(self) -> None:
        self.assertEqual(skew.madison(MADISON), {
            ("liblzma5", "5.4.1-1+deb12u1"), ("libzstd1", "1.5.4+dfsg2-5")})

    def test_pins(self) -> None:
        wanted = {"liblzma5": ("armhf", "1+deb12u1")}
        cases: list[tuple[dict[str, str], set[tuple[str, str]], list[str]]] = [
                ({"liblzma5": "1+deb12u2"}, {("liblzma5", "1+deb12u1")},
                 ["liblzma5:amd64=1+deb12u1", "liblzma5:armhf=1+deb12u1"]),
                # Already at the version both have.
                ({"liblzma5": "1+deb12u1"}, {("liblzma5", "1+deb12u1")}, []),
                # The build architecture's lists lack it: no way down.
                ({"liblzma5": "1+deb12u2"}, {("liblzma5", "1+deb12u2")}, []),
                ({}, {("liblzma5", "1+deb12u1")}, [])]
        for installed, available, expected in cases:
            with self.subTest(installed=installed, available=available):
                self.assertEqual(skew.pins(installed, wanted, available,
                                           "amd64"), expected)


class VersionPinsTest(unittest.TestCase):
    @staticmethod
    def programs() -> Programs:
        return Programs({
            "dpkg": Result(0, "amd64\n"),
            "dpkg-deb": Result(0, "libavahi-compat-libdnssd1 (>= 0.8)\n"),
            "apt-cache depends": Result(0, DEPENDS),
            "dpkg-query": Result(0, "libzstd1:amd64 1.5.4+dfsg2-5 same\n"
                                    "liblzma5:amd64 5.4.1-1+deb12u2 same\n"),
            "apt-cache show": Result(0, SHOW),
            "apt-cache madison": Result(0, MADISON)})

    def test_pins_through_every_query(self) -> None:
        programs = self.programs()
        with tempfile.TemporaryDirectory() as folder:
            deb = Path(folder, "build-deps.deb")
            deb.write_bytes(b"")
            pins = skew.version_pins(["-o", "Dir::Etc::SourceList=/x"],
                                     [str(deb), "libzstd1:armhf"], programs)
        self.assertEqual(pins, ["liblzma5:amd64=5.4.1-1+deb12u1",
                                "liblzma5:armhf=5.4.1-1+deb12u1"])
        depends = programs.called("apt-cache -o Dir::Etc::SourceList=/x "
                                  "depends")
        self.assertEqual(depends[0][-2:], ["libavahi-compat-libdnssd1",
                                           "libzstd1:armhf"])
        self.assertIn("libzstd1:armhf", programs.called(
            "apt-cache -o Dir::Etc::SourceList=/x show")[0])
        self.assertIn("liblzma5:amd64", programs.called(
            "apt-cache -o Dir::Etc::SourceList=/x madison")[0])


if __name__ == "__main__":
    unittest.main()
