# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/include_rules.py: the tree keeps the README's table, and a
planted include of each kind that breaks it is named with its file, line
and rule."""

import shutil
import sys
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))

import include_rules  # noqa: E402


class IncludeRulesTest(unittest.TestCase):
    def test_the_tree_keeps_the_table(self) -> None:
        breaches = include_rules.check_tree(ROOT)
        self.assertEqual([str(b) for b in breaches], [])

    def test_planted_includes(self) -> None:
        # (file, the include, the rule it breaks or None when allowed)
        cases = [
            ("core/a.cc", "platform/utils/file_utils.h",
             "core/ may include nothing of ours"),
            ("platform/utils/a.cc", "core/logging.h", None),
            ("platform/network/a.cc", "platform/system/b.h",
             "platform/network/ may include"),
            ("sample/a.cc", "host/host_assistant_manager.h",
             "sample/ may include"),
            ("host/audio/a.cc", "host/scenario/b.h",
             "host/audio/ may include host/base/"),
            ("host/audio/a.cc", "host/base/scheduler.h", None),
            ("host/audio/a.cc", "testing/log_capture.h",
             "host/audio/ may include"),
            ("host/audio/a_test.cc", "testing/log_capture.h", None),
            ("host/a.cc", "host/audio/b.h", None),
            ("host/a.cc", "testing/host_test_util.h",
             "host/ (its own files) may include"),
            ("prebuilt/lib/assistant_client.h", "core/logging.h",
             "a public header includes only core/export.h"),
            ("prebuilt/lib/assistant_client.h", "core/export.h", None),
            ("prebuilt/lib/assistant_client.h", "prebuilt/lib/c_api.h",
             None),
            ("prebuilt/lib/api_wrappers.cc", "core/logging.h", None),
            ("examples/x.cc", "prebuilt/lib/c_api.h", None),
            ("examples/x.cc", "platform/utils/file_utils.h", None),
            ("examples/x.cc", "platform/utils/file_watcher.h",
             "examples/ may include"),
            ("examples/x.cc", "prebuilt/lib/api_wrappers.h",
             "examples/ may include"),
            ("bench/x.cc", "host/audio/wav_file.h", None),
            ("core/a.cc", "gtest/gtest.h", None),
        ]
        tree = Path(tempfile.mkdtemp(prefix="include_rules_test."))
        self.addCleanup(shutil.rmtree, tree)
        shutil.copy(ROOT / "README.md", tree / "README.md")
        (tree / "prebuilt/lib").mkdir(parents=True)
        (tree / "prebuilt/lib/CMakeLists.txt").write_text(
            "set(VANTOR_PUBLIC_HEADERS\n  assistant_client c_api)\n")
        for number, (path, included, rule) in enumerate(cases):
            with self.subTest(path=path, included=included):
                # One file at a time, so each breach is its own.
                for old in tree.rglob("*.*"):
                    if old.suffix in (".cc", ".h"):
                        old.unlink()
                source = tree / path
                source.parent.mkdir(parents=True, exist_ok=True)
                source.write_text(f"// {number}\n\n#include \"{included}\"\n")
                breaches = include_rules.check_tree(tree)
                if rule is None:
                    self.assertEqual([str(b) for b in breaches], [])
                else:
                    self.assertEqual(len(breaches), 1, breaches)
                    self.assertTrue(
                        str(breaches[0]).startswith(
                            f"{path}:3: {included}: "), breaches[0])
                    self.assertIn(rule, breaches[0].rule)


if __name__ == "__main__":
    unittest.main()
