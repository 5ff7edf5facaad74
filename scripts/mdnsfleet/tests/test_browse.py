# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import unittest

from mdnsfleet import browse

TYPE = "_vantorfleet._tcp"


def line(event: str, name: str, device_id: str | None = None,
         interface: str = "link0") -> str:
    head = f"{event};{interface};IPv4;{name};{TYPE};local"
    if event != "=":
        return head
    txt = f'"id={device_id}"' if device_id else '"v=1"'
    return f"{head};dev1.local;169.254.77.10;8009;{txt}"


PLAIN = "Kitchen\\032Speaker"
SECOND = "Kitchen\\032Speaker\\032\\0352"


class NamesTest(unittest.TestCase):
    def test_unescape(self) -> None:
        for raw, name in [(SECOND, "Kitchen Speaker #2"),
                          ("a\\.b\\\\c", "a.b\\c"),
                          ("caf\\195\\169", "café"),
                          ("plain", "plain")]:
            with self.subTest(raw=raw):
                self.assertEqual(browse.unescape(raw), name)

    def test_escape_is_what_avahi_prints(self) -> None:
        self.assertEqual(browse.escape("Kitchen Speaker #2"), SECOND)
        for name in ["Kitchen Speaker #12", "a.b\\c", "café", "x_y-z",
                     "semi;colon"]:
            with self.subTest(name=name):
                escaped = browse.escape(name)
                self.assertNotIn(";", escaped)
                self.assertEqual(browse.unescape(escaped), name)

    def test_txt(self) -> None:
        cases: list[tuple[str, list[str], str | None]] = [
            ('"id=kitchen-01"', ["id=kitchen-01"], "kitchen-01"),
            ('"v=1" "id=x"', ["v=1", "id=x"], "x"),
            ('"ID=up"', ["ID=up"], "up"),
            ('"n=a\\"b" "id="', ['n=a"b', "id="], ""),
            ('"id"', ["id"], None),
            ("", [], None)]
        for field, strings, device_id in cases:
            with self.subTest(field=field):
                self.assertEqual(browse.txt_strings(field), strings)
                self.assertEqual(browse.txt_value(strings, "id"), device_id)


class ViewTest(unittest.TestCase):
    def test_parse_line(self) -> None:
        entry = browse.parse_line(line("=", SECOND, "kitchen-02"))
        assert entry is not None
        self.assertEqual((entry.event, entry.name, entry.device_id),
                         ("=", "Kitchen Speaker #2", "kitchen-02"))
        for junk in ["", "Got SIGTERM, quitting.",
                     "Failed to resolve service 'x' of type 'y'",
                     "+;link0;IPv4;short"]:
            with self.subTest(junk=junk):
                self.assertIsNone(browse.parse_line(junk))

    def test_view(self) -> None:
        cases = [
            ("resolved", [line("+", PLAIN), line("=", PLAIN, "a")],
             {"Kitchen Speaker": "a"}),
            ("listed, not resolved yet", [line("+", PLAIN)],
             {"Kitchen Speaker": None}),
            ("a TXT without id", [line("+", PLAIN), line("=", PLAIN)],
             {"Kitchen Speaker": None}),
            ("goodbye", [line("+", PLAIN), line("=", PLAIN, "a"),
                         line("-", PLAIN)], {}),
            ("renamed: the old name goes, the new one comes",
             [line("+", PLAIN), line("=", PLAIN, "a"), line("-", PLAIN),
              line("+", SECOND), line("=", SECOND, "a")],
             {"Kitchen Speaker #2": "a"}),
            ("a name taken over by another device",
             [line("+", PLAIN), line("=", PLAIN, "a"), line("-", PLAIN),
              line("+", PLAIN), line("=", PLAIN, "b")],
             {"Kitchen Speaker": "b"}),
            ("seen again after a goodbye, not resolved again yet",
             [line("+", PLAIN), line("=", PLAIN, "a"), line("-", PLAIN),
              line("+", PLAIN)], {"Kitchen Speaker": None}),
            ("a second interface keeps it listed",
             [line("+", PLAIN), line("=", PLAIN, "a"),
              line("+", PLAIN, interface="lo"), line("-", PLAIN)],
             {"Kitchen Speaker": None}),
            ("resolved on one of two interfaces",
             [line("+", PLAIN, interface="lo"), line("+", PLAIN),
              line("=", PLAIN, "a")], {"Kitchen Speaker": "a"}),
            ("another type is not ours",
             [line("+", PLAIN).replace(TYPE, "_other._tcp")], {}),
        ]
        for what, lines, view in cases:
            with self.subTest(what):
                self.assertEqual(browse.view_of("\n".join(lines), TYPE),
                                 view)

    def test_refreshed(self) -> None:
        # The name passed from a to b without a gap: still listed, never
        # resolved again by the continuous browser.
        taken_over = [line("+", PLAIN), line("=", PLAIN, "a"),
                      line("+", SECOND), line("=", SECOND, "c")]
        look = "\n".join([line("+", PLAIN), line("=", PLAIN, "b")])
        # (what, browser's lines, look, lines before the look, view)
        cases = [
            ("a later look corrects the owner", taken_over, look, 4,
             {"Kitchen Speaker": "b", "Kitchen Speaker #2": "c"}),
            ("a resolution after the look began stands",
             taken_over, look, 1,
             {"Kitchen Speaker": "a", "Kitchen Speaker #2": "c"}),
            ("no look yet", taken_over, "", 0,
             {"Kitchen Speaker": "a", "Kitchen Speaker #2": "c"}),
            ("the look lists what the browser does not: not added",
             [line("+", SECOND), line("=", SECOND, "c")], look, 2,
             {"Kitchen Speaker #2": "c"}),
            ("the look resolves what the browser could not",
             [line("+", PLAIN)], look, 1, {"Kitchen Speaker": "b"}),
            ("an unresolved look changes nothing",
             taken_over[:2], line("+", PLAIN), 2, {"Kitchen Speaker": "a"}),
        ]
        for what, lines, snapshot, since, view in cases:
            with self.subTest(what):
                self.assertEqual(browse.refreshed("\n".join(lines), snapshot,
                                                  since, TYPE), view)


if __name__ == "__main__":
    unittest.main()
