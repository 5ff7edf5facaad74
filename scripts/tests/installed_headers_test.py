# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The SDK's installed headers name no type whose size depends on the
client's _TIME_BITS or _FILE_OFFSET_BITS: a client built with a 32-bit
time_t and our libraries built with a 64-bit one must agree on every
layout."""

import re
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))

import include_rules  # noqa: E402

# Besides the public interface headers (cmake/install.cmake installs them).
OTHERS = ["core/export.h", "core/logging.h", "platform/utils/file_utils.h",
          "platform/utils/config_accessor.h"]
SIZED_BY_FLAGS = re.compile(
    r"\b(time_t|off_t|ino_t|blkcnt_t|fsblkcnt_t|fsfilcnt_t|fpos_t|clock_t|"
    r"suseconds_t|struct\s+(stat|timespec|timeval|dirent|rlimit|statvfs))\b")


def findings(root: Path) -> list[str]:
    """FILE:LINE: text for every line of an installed header that names
    such a type (comments included: a type in a comment is one step from
    code)."""
    headers = sorted(include_rules.public_headers(root)) + OTHERS
    found = []
    for header in headers:
        for number, line in enumerate(
                (root / header).read_text().splitlines(), 1):
            if SIZED_BY_FLAGS.search(line):
                found.append(f"{header}:{number}: {line.strip()}")
    return found


class InstalledHeadersTest(unittest.TestCase):
    def test_no_layout_depends_on_time_or_offset_bits(self) -> None:
        self.assertEqual(findings(ROOT), [])

    def test_a_planted_type_is_named(self) -> None:
        tree = Path(tempfile.mkdtemp(prefix="installed_headers_test."))
        self.addCleanup(shutil.rmtree, tree)
        for header in OTHERS + ["prebuilt/lib/CMakeLists.txt"]:
            (tree / header).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(ROOT / header, tree / header)
        for planted in ["  time_t when;", "struct stat info;",
                        "  off_t at; // x"]:
            with self.subTest(planted=planted):
                (tree / "prebuilt/lib/c_api.h").write_text(
                    f"#pragma once\n{planted}\n")
                (tree / "prebuilt/lib/CMakeLists.txt").write_text(
                    "set(VANTOR_PUBLIC_HEADERS c_api)\n")
                self.assertEqual(findings(tree),
                                 [f"prebuilt/lib/c_api.h:2: "
                                  f"{planted.strip()}"])


if __name__ == "__main__":
    unittest.main()
