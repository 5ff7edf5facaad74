# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import unittest

from mdnsfleet import judge

Names = dict[str, "str | None"]

K = "Kitchen Speaker"
K2 = "Kitchen Speaker #2"


class ViewTest(unittest.TestCase):
    def test_seen(self) -> None:
        ids = ["a", "b"]
        # (what, view, seen_all, distinct names, a's name)
        cases: list[tuple[str, Names, bool, int, str | None]] = [
            ("both", {K: "a", K2: "b"}, True, 2, K),
            ("one unresolved", {K: "a", K2: None}, False, 1, K),
            ("a stranger's instance", {K: "a", K2: "z"}, False, 1, K),
            ("a stale name beside the new one",
             {K: "a", K2: "a", "Kitchen Speaker #3": "b"}, True, 3,
             f"{K} | {K2}"),
            ("none", {}, False, 0, None),
        ]
        for what, view, seen, names, name in cases:
            with self.subTest(what):
                self.assertEqual(judge.seen_all(view, ids), seen)
                self.assertEqual(judge.distinct_names(view, ids), names)
                self.assertEqual(judge.observed_name(view, "a"), name)

    def test_agree(self) -> None:
        # (what, advertised, shown, observed, agree)
        cases: list[tuple[str, str | None, str | None, Names, bool]] = [
            ("one story", K2, K2, {"avahi": K2, "zc": K2}, True),
            ("no observers to ask", K2, K2, {}, True),
            ("log claims nothing", None, None, {"avahi": None}, False),
            ("own view differs", K2, K, {"avahi": K2}, False),
            ("own view lost", K2, None, {"avahi": K2}, False),
            ("an observer differs", K, K, {"avahi": K, "zc": K2}, False),
            ("an observer sees nothing", K, K, {"avahi": K, "zc": None},
             False),
            ("a stale name too", K, K, {"avahi": f"{K} | {K2}"}, False),
        ]
        for what, advertised, shown, observed, agree in cases:
            with self.subTest(what):
                check = judge.NameCheck("dev1", "a", advertised, shown,
                                        observed)
                self.assertEqual(check.agree, agree)

    def test_check_names(self) -> None:
        checks = judge.check_names(
            [("dev1", "a", K, K, 0), ("dev2", "b", K2, K2, 3)],
            {"avahi": {K: "a", K2: "b"}, "zc": {K: "a"}})
        self.assertEqual([(c.device, c.observed, c.failures, c.agree)
                          for c in checks],
                         [("dev1", {"avahi": K, "zc": K}, 0, True),
                          ("dev2", {"avahi": K2, "zc": None}, 3, False)])

    def test_shortfalls(self) -> None:
        ids = ["a", "b"]
        good = judge.NameCheck("dev1", "a", K, K, {"avahi": K})
        bad = judge.NameCheck("dev2", "b", K2, None, {"avahi": K2})
        cases: list[tuple[str, dict[str, Names], list[judge.NameCheck],
                          list[str]]] = [
            ("settled", {"avahi": {K: "a", K2: "b"}}, [good], []),
            ("one missing", {"avahi": {K: "a"}, "zc": {K: "a", K2: "b"}},
             [good], ["avahi misses b", "avahi shows 1 names for 2"]),
            ("a stale name", {"avahi": {K: "a", K2: "b", "X": "b"}},
             [good, bad], ["avahi shows 3 names for 2",
                           "names differ for dev2"]),
        ]
        for what, views, checks, words in cases:
            with self.subTest(what):
                self.assertEqual(judge.shortfalls(ids, views, checks), words)

    def test_renames(self) -> None:
        cases: list[tuple[str, Names, Names, list[judge.Rename]]] = [
            ("unchanged", {"a": K, "b": K2}, {"a": K, "b": K2}, []),
            ("swapped", {"a": K, "b": K2}, {"a": K2, "b": K},
             [judge.Rename("a", K, K2), judge.Rename("b", K2, K)]),
            ("appeared", {"a": None}, {"a": K}, []),
            ("vanished", {"a": K}, {"a": None}, []),
            ("not looked at after", {"a": K}, {}, []),
        ]
        for what, before, after, renamed in cases:
            with self.subTest(what):
                self.assertEqual(judge.renames(before, after), renamed)


class SettlerTest(unittest.TestCase):
    def test_settles(self) -> None:
        # (what, [(now, ok, state)...], settled at the last, settle_s)
        cases = [
            ("stable and right from the start",
             [(0.0, True, 1), (3.0, True, 1), (5.0, True, 1)], True, 0.0),
            ("not yet quiet long enough",
             [(0.0, True, 1), (4.9, True, 1)], False, 0.0),
            ("a change starts the quiet wait again",
             [(0.0, True, 1), (4.0, True, 2), (8.0, True, 2),
              (9.0, True, 2)], True, 4.0),
            ("quiet but wrong",
             [(0.0, False, 1), (10.0, False, 1)], False, 0.0),
            ("right after going wrong",
             [(0.0, False, 1), (2.0, False, 2), (3.5, True, 3),
              (8.5, True, 3)], True, 3.5),
        ]
        for what, updates, settled, settle_s in cases:
            with self.subTest(what):
                settler = judge.Settler(start=0.0, quiet_s=5.0)
                results = [settler.update(now, ok, state)
                           for now, ok, state in updates]
                self.assertEqual(results[-1], settled)
                self.assertEqual(settler.settle_s, settle_s)


if __name__ == "__main__":
    unittest.main()
