# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import unittest

from vboard import parse

EXPECTED = parse.Expected(name="Vantor Device", type="_vantor._tcp",
                          port=8009, host="vantor-board.local",
                          address="169.254.77.2")
RESOLVED = ("=;eth0;IPv4;Vantor\\032Device;_vantor._tcp;local;"
            "vantor-board.local;169.254.77.2;8009;\"v=1\"")


class BrowseTest(unittest.TestCase):
    def test_unescape(self):
        for raw, name in [("Vantor\\032Device", "Vantor Device"),
                          ("a\\.b\\\\c", "a.b\\c"),
                          ("caf\\195\\169", "café"),
                          ("plain", "plain")]:
            with self.subTest(raw=raw):
                self.assertEqual(parse.unescape_avahi(raw), name)

    def test_resolved(self):
        cases = [
            (RESOLVED, True),
            # The same line on another interface or protocol still counts.
            (RESOLVED.replace("eth0;IPv4", "vboard0;IPv6"), True),
            # Seen but not resolved.
            ("+;eth0;IPv4;Vantor\\032Device;_vantor._tcp;local", False),
            # Another port, address, name, host or domain is another entry.
            (RESOLVED.replace(";8009;", ";8010;"), False),
            (RESOLVED.replace("169.254.77.2", "169.254.77.1"), False),
            (RESOLVED.replace("Vantor\\032Device", "Vantor\\032Device2"),
             False),
            (RESOLVED.replace("vantor-board.local", "board-peer.local"),
             False),
            (RESOLVED.replace(";local;", ";example;"), False),
            # Lines avahi-browse prints besides entries.
            ("Failed to create client object: Daemon not running", False),
            ("", False),
        ]
        for text, resolved in cases:
            with self.subTest(text=text):
                self.assertEqual(
                    EXPECTED.resolved_in(parse.parse_browse(text)), resolved)

    def test_listed(self):
        cases = [
            ("+;eth0;IPv4;Vantor\\032Device;_vantor._tcp;local", True),
            (RESOLVED, True),
            ("-;eth0;IPv4;Vantor\\032Device;_vantor._tcp;local", False),
            ("+;eth0;IPv4;Other;_vantor._tcp;local", False),
            ("+;eth0;IPv4;Vantor\\032Device;_other._tcp;local", False),
        ]
        for text, listed in cases:
            with self.subTest(text=text):
                self.assertEqual(
                    EXPECTED.listed_in(parse.parse_browse(text)), listed)

    def test_fields(self):
        [entry] = parse.parse_browse(RESOLVED)
        self.assertEqual((entry.name, entry.port, entry.txt),
                         ("Vantor Device", 8009, '"v=1"'))
        self.assertEqual(str(EXPECTED), "Vantor\\032Device;_vantor._tcp;local;"
                         "vantor-board.local;169.254.77.2;8009;")
        self.assertEqual(parse.look_summary(RESOLVED + "\n"),
                         "=;eth0;IPv4;Vantor\\032Device;vantor-board.local;"
                         "169.254.77.2;8009")


class ConfigTest(unittest.TestCase):
    CONFIG = """\
// The device's configuration.
{
  "platform_config": {
    "mic_state_path": "/var/lib/vantor/state/mic_state", // on disk
  },
  "vantor_host": {
    // "mdns_port": 9999,
    "mdns_instance_name": "Kitchen // Speaker",
    "mdns_port": 8009,
    "quoted": "a \\"b\\", c",
  },
}
"""

    def test_values(self):
        cases = [
            ("mdns_port", "8009"),
            ("mdns_instance_name", "Kitchen // Speaker"),
            ("mic_state_path", "/var/lib/vantor/state/mic_state"),
            ("quoted", 'a "b", c'),
            ("mdns_service_type", "default"),
        ]
        for key, value in cases:
            with self.subTest(key=key):
                self.assertEqual(
                    parse.config_value(self.CONFIG, key, "default"), value)

    def test_unreadable(self):
        self.assertEqual(parse.config_value("{ broken", "mdns_port", "8009"),
                         "8009")


class JournalTest(unittest.TestCase):
    def test_renames_pair_in_order(self):
        text = ("log 1000.010 muted\nlog 1000.350 unmuted\n"
                "rename 1000000000 off\nrename 1000300000 on\n")
        pairs = parse.pair_renames(text)
        self.assertTrue(pairs.paired)
        self.assertEqual([round(ms, 3) for ms in pairs.ms], [10.0, 50.0])

    def test_renames_do_not_pair(self):
        cases = [
            # A line too few, one too many, a change logged in another order.
            "rename 1000000000 off\nrename 1000300000 on\nlog 1000.01 muted\n",
            "rename 1000000000 off\nlog 1000.01 muted\nlog 1000.02 muted\n",
            "rename 1000000000 off\nrename 1000300000 on\n"
            "log 1000.01 unmuted\nlog 1000.35 muted\n",
            "",
        ]
        for text in cases:
            with self.subTest(text=text):
                self.assertFalse(parse.pair_renames(text).paired)

    def test_loss_to_reregistration(self):
        lines = ("[  100.000000] vantor-board sample[1]: mDNS: the network "
                 "changed\n"
                 "[  101.250000] vantor-board sample[1]: WARNING Lost mdns "
                 "service instances\n"
                 "[  102.000000] vantor-board sample[1]: Lost mdns service "
                 "instances\n"
                 "[  103.710000] vantor-board sample[1]: Re-registered mdns "
                 "service instance x\n")
        self.assertAlmostEqual(parse.loss_to_reregistration(lines), 2.46)
        # A re-registration with no loss before it has no gap.
        self.assertIsNone(parse.loss_to_reregistration(
            lines.splitlines()[-1]))

    def test_first_monotonic(self):
        text = ("[   30.5] host x: Advertised a: FAILED\n"
                "[   37.012345] host x: Advertised a: SUCCESS\n"
                "[   40.0] host x: Advertised b: SUCCESS\n")
        self.assertEqual(parse.first_monotonic(text, "Advertised .*: SUCCESS"),
                         "37.012345")
        self.assertIsNone(parse.first_monotonic(text, "Withdrawn"))

    def test_idle_switches(self):
        text = ("before 10 assistant_sampl 50\nbefore 11 FileWatcher 7\n"
                "before 12 gone 3\n"
                "after 10 assistant_sampl 52\nafter 11 FileWatcher 7\n"
                "after 13 new 4\n")
        self.assertEqual(parse.idle_switches(text),
                         (6, "FileWatcher=0 assistant_sampl=2 new=4"))


class ToolWordsTest(unittest.TestCase):
    def test_words(self):
        for text, words in [
                ("vantor-state: NO_SUCH_WORD is no connection state (one of: "
                 "UNKNOWN CONNECTED CONNECTING); nothing written",
                 ["UNKNOWN", "CONNECTED", "CONNECTING"]),
                ("vantor-state: cannot read /etc/vantor/config.json", [])]:
            with self.subTest(text=text):
                self.assertEqual(parse.usage_words(text), words)

    def test_status_and_exposure(self):
        status = parse.proc_status("Name:\tassistant\nVmRSS:\t  5296 kB\n"
                                   "Threads:\t6\n")
        self.assertEqual((status["VmRSS"], status["Threads"]), ("5296", "6"))
        self.assertEqual(parse.exposure_score(
            "→ Overall exposure level for vantor-sample.service: 1.9 OK :-)"),
            "1.9")
        self.assertIsNone(parse.exposure_score("Unit not found."))


def journal_line(monotonic, priority, message):
    import json
    return json.dumps({"__MONOTONIC_TIMESTAMP": str(monotonic),
                       "PRIORITY": str(priority), "MESSAGE": message})


class JournalJsonTest(unittest.TestCase):
    def test_entries(self):
        text = "\n".join([
            journal_line(5, 6, "[INFO:a.cc(1)] up"),
            # journald gives bytes that are not UTF-8 as a number array.
            journal_line(6, 6, [91, 255]),
            "not json",
            '{"MESSAGE": "no priority", "__MONOTONIC_TIMESTAMP": "7"}',
            journal_line(8, 4, "[WARNING:b.cc(2)] careful"),
        ])
        self.assertEqual(
            [(e.monotonic_us, e.priority, e.message)
             for e in parse.journal_entries(text)],
            [(5, 6, "[INFO:a.cc(1)] up"), (8, 4, "[WARNING:b.cc(2)] careful")])

    def test_severity_and_misfiled(self):
        cases = [
            ("[INFO:a.cc(1)] x", 6, "INFO", False),
            ("[WARNING:a.cc(1)] x", 4, "WARNING", False),
            ("[ERROR:a.cc(1)] x", 3, "ERROR", False),
            ("[FATAL:a.cc(1)] x", 2, "FATAL", False),
            # With the time and tick count the logger may put first.
            ("[1209/235959.000001:123:WARNING:a.cc(1)] x", 4, "WARNING",
             False),
            # A warning that reached the journal at its default priority.
            ("[WARNING:a.cc(1)] x", 6, "WARNING", True),
            ("[INFO:a.cc(1)] x", 4, "INFO", True),
            # Not ours: never misfiled.
            ("Started vantor-sample.service", 6, None, False),
        ]
        for message, priority, severity, wrong in cases:
            with self.subTest(message=message, priority=priority):
                self.assertEqual(parse.severity_of(message), severity)
                entry = parse.JournalEntry(0, priority, message)
                self.assertEqual(bool(parse.misfiled([entry])), wrong)


class SpanTest(unittest.TestCase):
    def test_span_seconds(self):
        cases = [("15s", 15.0), ("1min 30s", 90.0), ("500ms", 0.5),
                 ("2h 1us", 7200.000001), ("1d", 86400.0),
                 ("infinity", None), ("", None), ("3x", None),
                 ("15s and more", None), ("15", None)]
        for text, seconds in cases:
            with self.subTest(text=text):
                self.assertEqual(parse.span_seconds(text), seconds)

    def test_first_after(self):
        entries = [parse.JournalEntry(30, 6, "b late"),
                   parse.JournalEntry(10, 6, "a early"),
                   parse.JournalEntry(20, 4, "b middle")]
        cases = [("b", 0, 20), ("b", 20, 30), ("early", 10, None),
                 ("c", 0, None)]
        for text, since, found in cases:
            with self.subTest(text=text, since=since):
                got = parse.first_after(entries, text, since)
                self.assertEqual(got.monotonic_us if got else None, found)


def entry(seconds: float, pid: int, message: str) -> parse.JournalEntry:
    return parse.JournalEntry(int(seconds * 1e6), 6, message, pid)


ADVERTISED_LINE = "[INFO:a.cc(1)] Advertised Vantor Device: SUCCESS"


class RestartTest(unittest.TestCase):
    def test_restart_after(self):
        restart = [entry(10, 1, "Stopping vantor-sample.service - V..."),
                   entry(10.5, 40, "[INFO:a.cc(1)] Withdrawing"),
                   entry(11, 40, "[INFO:a.cc(1)] Assistant manager deleted"),
                   entry(11.2, 1, "Stopped vantor-sample.service - V..."),
                   entry(12, 1, "Started vantor-sample.service - V..."),
                   entry(13.5, 77, ADVERTISED_LINE)]
        cases = [
            ("one restart", restart, 1, 2.5),
            # The json reader gives 0 when a line had no _PID.
            ("an advertisement of no process", restart[:-1]
             + [entry(13.5, 0, ADVERTISED_LINE)], 1, None),
            # The old process said nothing: from systemd's Stopping.
            ("old process silent", [restart[0]] + restart[3:], 1, 3.5),
            ("two restarts", restart + [
                entry(20, 1, "Started vantor-sample.service - V...")], 2,
             2.5),
            ("not advertised yet", restart[:-1], 1, None),
            # The old process's own advertisement is not the new one's.
            ("no restart", [entry(5, 40, ADVERTISED_LINE)], 0, None),
            ("a failed registration", restart[:-1] + [
                entry(13.5, 77, "[INFO:a.cc(1)] Advertised X: FAILED")], 1,
             None),
        ]
        for name, entries, starts, downtime in cases:
            with self.subTest(name):
                found = parse.restart_after(entries, 40)
                self.assertEqual(found.starts, starts)
                if downtime is None:
                    self.assertIsNone(found.downtime_s)
                else:
                    self.assertAlmostEqual(found.downtime_s, downtime)

    def test_last_mute_report(self):
        cases = [
            ([entry(1, 7, "[INFO:a.cc(1)] Microphone: muted")], "muted"),
            ([entry(1, 7, "[INFO:a.cc(1)] Microphone: muted"),
              entry(2, 7, "[INFO:a.cc(1)] Microphone unmuted")], "unmuted"),
            # Another process's word is not this one's.
            ([entry(1, 7, "[INFO:a.cc(1)] Microphone: muted"),
              entry(2, 8, "[INFO:a.cc(1)] Microphone unmuted")], "muted"),
            ([entry(1, 8, "[INFO:a.cc(1)] Microphone: muted")], None),
            ([entry(1, 7, "[INFO:a.cc(1)] Microphone: muted for now")], None),
        ]
        for entries, said in cases:
            with self.subTest(said=said, n=len(entries)):
                self.assertEqual(parse.last_mute_report(entries, 7), said)

    def test_journal_entries_keep_the_pid(self):
        text = ('{"__MONOTONIC_TIMESTAMP":"5","PRIORITY":"6","MESSAGE":"a",'
                '"_PID":"42"}\n{"__MONOTONIC_TIMESTAMP":"6","PRIORITY":"6",'
                '"MESSAGE":"b"}\n')
        self.assertEqual([(e.pid, e.message)
                          for e in parse.journal_entries(text)],
                         [(42, "a"), (0, "b")])


if __name__ == "__main__":
    unittest.main()
