# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import unittest

from mdnsfleet import loglines

SERVICE = "Kitchen Speaker._vantorfleet._tcp"
START = f"{loglines.START_MARKER} 1 12:00:00"
ASK = ("[INFO:network_reactions.cc(118)] Advertising "
       f"{SERVICE} on port 8009")
SUCCESS = f"[INFO:network_reactions.cc(186)] Advertised {SERVICE}: SUCCESS"
RENAMED = ("[INFO:bonjour_mdns_responder.cc(519)] "
           f"{SERVICE} is advertised as 'Kitchen Speaker #2'")
BACK_TO_ASKED = ("[INFO:bonjour_mdns_responder.cc(519)] "
                 f"{SERVICE} is advertised as 'Kitchen Speaker'")
SHOWN = ("[INFO:network_view.cc(358)] mDNS: the network shows this device "
         "as 'Kitchen Speaker' (_vantorfleet._tcp)")
SHOWN_RENAMED = ("[INFO:network_view.cc(365)] mDNS: the network shows this "
                 "device as 'Kitchen Speaker #2', renamed from "
                 "'Kitchen Speaker'")
SHOWN_AGAIN = ("[INFO:network_view.cc(361)] mDNS: the network shows this "
               "device again as 'Kitchen Speaker #3', renamed from "
               "'Kitchen Speaker #2', 3.71 s after it was lost")
NOT_SHOWN = ("[WARNING:network_view.cc(378)] mDNS: the network no longer "
             "shows this device as 'Kitchen Speaker': the mDNS daemon went "
             "away")
LOST = ("[WARNING:bonjour_mdns_responder_loss.cc(37)] Lost mdns service "
        "instances error_code=-65537, registering them again when the "
        f"daemon is back: {SERVICE}")
REREGISTERED = ("[INFO:bonjour_mdns_responder_loss.cc(55)] Re-registered "
                f"mdns service instance: {SERVICE}")
FREE = "Kitchen Speaker #5._vantorfleet._tcp"
SUCCESS_FREE = ("[INFO:network_reactions.cc(186)] Advertised "
                f"{FREE}: SUCCESS")
RENAMED_FREE = ("[INFO:bonjour_mdns_responder.cc(519)] "
                f"{FREE} is advertised as 'Kitchen Speaker #7'")
FAILED = (f"[WARNING:network_reactions.cc(198)] Advertising {SERVICE} "
          "failed: NON_FATAL_ERROR OnDNSServiceRegisterReply() not called "
          "within timeout_ms=5000; trying again in 1000 ms")


class ReadLogTest(unittest.TestCase):
    def test_claims(self) -> None:
        # (what, lines, advertised, shown)
        cases = [
            ("nothing asked yet", [START], None, None),
            ("asked, not answered", [START, ASK], None, None),
            ("the asked name", [START, ASK, SUCCESS, SHOWN],
             "Kitchen Speaker", "Kitchen Speaker"),
            # The responder speaks before the host's SUCCESS line.
            ("renamed at registration",
             [START, ASK, RENAMED, SUCCESS, SHOWN_RENAMED],
             "Kitchen Speaker #2", "Kitchen Speaker #2"),
            ("renamed later by a conflict",
             [START, ASK, SUCCESS, SHOWN, RENAMED],
             "Kitchen Speaker #2", "Kitchen Speaker"),
            ("lost with its daemon", [START, ASK, SUCCESS, SHOWN, NOT_SHOWN,
                                      LOST], None, None),
            ("back under the name it had",
             [START, ASK, RENAMED, SUCCESS, LOST, REREGISTERED],
             "Kitchen Speaker #2", None),
            ("back under the asked name",
             [START, ASK, RENAMED, SUCCESS, LOST, REREGISTERED,
              BACK_TO_ASKED], "Kitchen Speaker", None),
            ("seen again under another name",
             [START, ASK, SUCCESS, NOT_SHOWN, SHOWN_AGAIN],
             "Kitchen Speaker", "Kitchen Speaker #3"),
            ("failed", [START, ASK, FAILED], None, None),
            # A try after a failure asks for a free name of its own.
            ("a free name after a failure",
             [START, ASK, RENAMED, FAILED, SUCCESS_FREE],
             "Kitchen Speaker #5", None),
            ("a free name, renamed",
             [START, ASK, FAILED, RENAMED_FREE, SUCCESS_FREE],
             "Kitchen Speaker #7", None),
            ("a restart forgets the last run's names",
             [START, ASK, RENAMED, SUCCESS, SHOWN_RENAMED,
              f"{loglines.START_MARKER} 2", ASK], None, None),
            ("a restart's own answer",
             [START, ASK, RENAMED, SUCCESS, f"{loglines.START_MARKER} 2",
              ASK, SUCCESS], "Kitchen Speaker", None),
        ]
        for what, lines, advertised, shown in cases:
            with self.subTest(what):
                log = loglines.read_log("\n".join(lines) + "\n")
                self.assertEqual(log.advertised, advertised)
                self.assertEqual(log.shown, shown)

    def test_counts(self) -> None:
        log = loglines.read_log("\n".join(
            [START, ASK, FAILED, FAILED, SUCCESS,
             f"{loglines.START_MARKER} 2", ASK, FAILED]))
        self.assertEqual((log.starts, log.failures), (2, 1))
        self.assertIn("timeout_ms=5000", log.last_failure)

    def test_lines_without_prefix(self) -> None:
        log = loglines.read_log("\n".join(
            loglines.message(line) for line in [ASK, RENAMED, SUCCESS]))
        self.assertEqual(log.advertised, "Kitchen Speaker #2")

    def test_instance_of(self) -> None:
        for service, name in [(SERVICE, "Kitchen Speaker"),
                              ("Hall #2._a._udp", "Hall #2"),
                              ("v1.2 box._a._tcp", "v1.2 box")]:
            with self.subTest(service=service):
                self.assertEqual(loglines.instance_of(service), name)


if __name__ == "__main__":
    unittest.main()
