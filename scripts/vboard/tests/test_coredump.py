# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import contextlib
import io
import unittest

from vboard import coredump
from vboard.results import Report, Status

LIST = """\
Thu 2026-12-10 20:31:07 UTC  812 999 999 SIGSEGV present  /usr/bin/assistant_sample 1.1M
Thu 2026-12-10 20:32:01 UTC  901 999 999 SIGABRT present  /usr/bin/assistant_sample 752.4K
Thu 2026-12-10 20:33:15 UTC  977 999 999 SIGSEGV none     /usr/bin/assistant_sample    -
Thu 2026-12-10 20:34:40 UTC 1022   0   0 6       missing  /usr/sbin/other            2.0M
"""  # noqa: E501

INFO = """\
           PID: 812 (assistant_sampl)
           UID: 999 (vantor)
        Signal: 11 (SEGV)
    Executable: /usr/bin/assistant_sample
       Storage: /var/lib/systemd/coredump/core.assistant_sampl.999.b1.812.1765398667000000.zst (present)
  Size on Disk: 1.1M
       Message: Process 812 (assistant_sampl) of user 999 dumped core.

                Module libvantor.so without build-id.
                Stack trace of thread 815:
                #0  0x0000000076e1a2b4 _ZN10vantor_host12_GLOBAL__N_116WriteThroughNullEPii (libvantor.so + 0x4a2b4)
                #1  0x0000000076e1a2d0 n/a (libvantor.so + 0x4a2d0)
                #2  0x0000000076b3c5e0 n/a (libstdc++.so.6 + 0xc5e0)

                Stack trace of thread 812:
                #0  0x0000000076a0b1c4 n/a (libc.so.6 + 0x7b1c4)
                #1  0x0000000000401f2c main (assistant_sample + 0x1f2c)
                #2  0x0000000076f0e2b4 _ZZN10vantor_host21RegisterFaultSwitchesEPN16assistant_client14DebugInterfaceERKNS_12FaultTargetsEENKUlvE_clEv (libvantor.so + 0x4e2b4)
                ELF object binary architecture: ARM
"""  # noqa: E501

# Recorded on the Debian 13 board (scripts/board crash).
BOARD_LIST = """\
TIME                         PID UID GID SIG     COREFILE EXE                         SIZE
Thu 2026-12-10 20:37:40 UTC  784 989 989 SIGSEGV present  /usr/bin/assistant_sample 224.2K
Thu 2026-12-10 20:38:11 UTC  836 989 989 SIGABRT present  /usr/bin/assistant_sample 223.6K
Thu 2026-12-10 20:38:40 UTC  925 989 989 SIGSEGV present  /usr/bin/assistant_sample 223.7K
Thu 2026-12-10 20:39:09 UTC 1042 989 989 SIGABRT present  /usr/bin/assistant_sample 224.2K
Thu 2026-12-10 20:39:27 UTC 1123 989 989 SIGSEGV present  /usr/bin/assistant_sample 224.3K
Thu 2026-12-10 20:39:40 UTC 1176 989 989 SIGSEGV present  /usr/bin/assistant_sample 222.7K
Thu 2026-12-10 20:39:55 UTC 1223 989 989 SIGSEGV present  /usr/bin/assistant_sample 223.2K
Thu 2026-12-10 20:40:07 UTC 1274 989 989 SIGSEGV present  /usr/bin/assistant_sample 223.5K
Thu 2026-12-10 20:40:20 UTC 1318 989 989 SIGSEGV present  /usr/bin/assistant_sample 223.2K
Thu 2026-12-10 20:40:35 UTC 1363 989 989 SIGSEGV present  /usr/bin/assistant_sample 223.3K
"""  # noqa: E501

# coredumpctl info of a crash with the -dbgsym packages installed.
BOARD_CRASH_DBGSYM = """\
PID: 925 (assistant_sampl)
           UID: 989 (vantor)
           GID: 989 (vantor)
        Signal: 11 (SEGV)
     Timestamp: Thu 2026-12-10 20:38:32 UTC (12s ago)
  Command Line: /usr/bin/assistant_sample /run/vantor-test/config.json
    Executable: /usr/bin/assistant_sample
 Control Group: /system.slice/vantor-sample.service
          Unit: vantor-sample.service
         Slice: system.slice
       Boot ID: d58c06d1f12a42d69be12684e0032e7d
    Machine ID: 0755ff17ed2aa1f91a43cedbf72b32a0
      Hostname: vantor-board
       Storage: /var/lib/systemd/coredump/core.assistant_sampl.989.d58c06d1f12a42d69be12684e0032e7d.925.1796935112000000.zst (present)
  Size on Disk: 223.7K
       Package: cross-toolchain-base/77
      build-id: 4f0656b1324fb3919f7fb5b455c87aa6ad2b0be9
       Message: Process 925 (assistant_sampl) of user 989 dumped core.

                Module /usr/bin/assistant_sample from deb cross-toolchain-base-77.amd64
                Module libgcc_s.so.1 from deb gcc-14-14.2.0-19.armhf
                Module libstdc++.so.6 from deb gcc-14-14.2.0-19.armhf
                Module libsystemd.so.0 from deb systemd-257.13-1~deb13u1.armhf
                Stack trace of thread 1008:
                #0  0x00000000b6edbb66 WriteThroughNull (libvantor.so + 0x1bb66)
                #1  0x00000000b6cd4622 n/a (libstdc++.so.6 + 0xa4622)
                ELF object binary architecture: ARM"""  # noqa: E501

# coredumpctl info of a watchdog abort, packages as shipped.
BOARD_ABORT_SHIPPED = """\
PID: 836 (assistant_sampl)
           UID: 989 (vantor)
           GID: 989 (vantor)
        Signal: 6 (ABRT)
     Timestamp: Thu 2026-12-10 20:38:06 UTC (9s ago)
  Command Line: /usr/bin/assistant_sample /run/vantor-test/config.json
    Executable: /usr/bin/assistant_sample
 Control Group: /system.slice/vantor-sample.service
          Unit: vantor-sample.service
         Slice: system.slice
       Boot ID: d58c06d1f12a42d69be12684e0032e7d
    Machine ID: 0755ff17ed2aa1f91a43cedbf72b32a0
      Hostname: vantor-board
       Storage: /var/lib/systemd/coredump/core.assistant_sampl.989.d58c06d1f12a42d69be12684e0032e7d.836.1796935086000000.zst (present)
  Size on Disk: 223.6K
       Package: cross-toolchain-base/77
      build-id: 4f0656b1324fb3919f7fb5b455c87aa6ad2b0be9
       Message: Process 836 (assistant_sampl) of user 989 dumped core.

                Module /usr/bin/assistant_sample from deb cross-toolchain-base-77.amd64
                Module libgcc_s.so.1 from deb gcc-14-14.2.0-19.armhf
                Module libstdc++.so.6 from deb gcc-14-14.2.0-19.armhf
                Module libsystemd.so.0 from deb systemd-257.13-1~deb13u1.armhf
                Stack trace of thread 836:
                #0  0x00000000b6ac7b36 n/a (libc.so.6 + 0x67b36)
                ELF object binary architecture: ARM"""  # noqa: E501


class ListTest(unittest.TestCase):
    def test_board(self):
        rows = coredump.parse_list(BOARD_LIST)
        self.assertEqual(len(rows), 10)
        self.assertEqual([r.signal for r in rows[:4]],
                         ["SIGSEGV", "SIGABRT", "SIGSEGV", "SIGABRT"])
        self.assertTrue(all(r.corefile == "present" and
                            r.exe == coredump.PROGRAM for r in rows))
        self.assertEqual(rows[0].size, round(224.2 * 1024))

    def test_rows(self):
        rows = coredump.parse_list("TIME PID UID GID SIG COREFILE EXE SIZE\n"
                                   + LIST + "\n")
        self.assertEqual(
            [(r.pid, r.signal, r.corefile, r.exe, r.size) for r in rows],
            [(812, "SIGSEGV", "present", coredump.PROGRAM, 1153434),
             (901, "SIGABRT", "present", coredump.PROGRAM, 770458),
             (977, "SIGSEGV", "none", coredump.PROGRAM, None),
             (1022, "SIGABRT", "missing", "/usr/sbin/other", 2 << 20)])

    def test_signal_and_size_words(self):
        for text, name in [("11", "SIGSEGV"), ("6", "SIGABRT"),
                           ("SEGV", "SIGSEGV"), ("SIGABRT", "SIGABRT"),
                           ("999", "999")]:
            with self.subTest(text=text):
                self.assertEqual(coredump.signal_name(text), name)
        for text, size in [("512B", 512), ("752.4K", 770458),
                           ("1.0M", 1 << 20), ("3", 3), ("-", None),
                           ("n/a", None)]:
            with self.subTest(text=text):
                self.assertEqual(coredump.size_bytes(text), size)


class InfoTest(unittest.TestCase):
    def test_board(self):
        cases = [
            # (text, pid, signal, frames of the signalled thread, named)
            (BOARD_CRASH_DBGSYM, 925, "SIGSEGV", 2, ["WriteThroughNull"]),
            (BOARD_ABORT_SHIPPED, 836, "SIGABRT", 1, []),
        ]
        for text, pid, signal, frames, named in cases:
            with self.subTest(pid=pid):
                info = coredump.parse_info(text)
                self.assertEqual((info.pid, info.signal, info.present),
                                 (pid, signal, True))
                self.assertTrue(info.storage.startswith(
                    coredump.CORE_FOLDER + "/core.assistant_sampl."))
                self.assertEqual(len(info.threads), 1)
                self.assertEqual(len(info.threads[0]), frames)
                self.assertEqual(info.names(".", True, True), named)

    def test_fields_and_threads(self):
        info = coredump.parse_info(INFO)
        self.assertEqual((info.pid, info.signal, info.present),
                         (812, "SIGSEGV", True))
        self.assertTrue(info.storage.endswith(".zst"))
        self.assertEqual([len(t) for t in info.threads], [3, 3])
        self.assertEqual(info.named(info.threads[0]), 1)
        self.assertEqual(info.threads[1][1],
                         coredump.Frame("main", "assistant_sample"))

    def test_culprit_by_thread(self):
        info = coredump.parse_info(INFO)
        cases = [
            # (pattern, in the signalled thread alone, ours alone, found)
            ("WriteThroughNull|CrashOnThisThread", True, True, 1),
            ("RegisterFaultSwitches", True, False, 0),
            ("RegisterFaultSwitches", False, False, 1),
            ("NoSuchFunction", False, False, 0),
            # Any name: main is the program's, the lambda libvantor.so's.
            (".", False, True, 3),
            (".", True, True, 1),
        ]
        for pattern, first_only, ours, found in cases:
            with self.subTest(pattern=pattern, first_only=first_only):
                self.assertEqual(len(info.names(pattern, first_only, ours)),
                                 found)
        libc = coredump.parse_info(INFO.replace(
            "n/a (libc.so.6", "__futex_abstimed_wait_common64 (libc.so.6"))
        self.assertEqual(len(libc.names(".", False, True)), 3)
        self.assertEqual(len(libc.names(".", False, False)), 4)
        # systemd names a program's module by its path (a libc6-dbg trace
        # that reaches main).
        pathed = coredump.parse_info(INFO.replace(
            "(assistant_sample", "(/usr/bin/assistant_sample"))
        self.assertEqual(len(pathed.names(".", False, True)), 3)

    def test_without_core_or_trace(self):
        info = coredump.parse_info(
            "           PID: 977 (assistant_sampl)\n"
            "        Signal: 6 (ABRT)\n"
            "       Storage: none\n"
            "       Message: Process 977 (assistant_sampl) of user 999 "
            "dumped core.\n")
        self.assertEqual((info.signal, info.storage, info.present,
                          info.threads), ("SIGABRT", "", False, []))
        missing = coredump.parse_info(INFO.replace("(present)", "(missing)"))
        self.assertFalse(missing.present)


class ListedCheckTest(unittest.TestCase):
    def test_outcomes(self):
        row = coredump.Listed(812, "SIGSEGV", "present", coredump.PROGRAM,
                              1 << 20)
        cases = [
            (row, 3.0, "SIGSEGV", Status.PASS),
            (row, 3.0, "SIGABRT", Status.FAIL),
            # Listed, but the core went, or the service did not come back.
            (coredump.Listed(812, "SIGSEGV", "missing", coredump.PROGRAM,
                             None), 3.0, "SIGSEGV", Status.FAIL),
            (row, None, "SIGSEGV", Status.FAIL),
            (coredump.Listed(812, "SIGSEGV", "present", "/usr/bin/other",
                             1), 3.0, "SIGSEGV", Status.FAIL),
            (None, 3.0, "SIGSEGV", Status.FAIL),
        ]
        empty = coredump.parse_info("")
        for listed, ready_s, wanted, status in cases:
            with self.subTest(listed=listed, ready_s=ready_s, wanted=wanted):
                report = Report()
                kept = coredump.Kept(812, ready_s, listed, empty, "", {},
                                     None, None)
                with contextlib.redirect_stdout(io.StringIO()):
                    coredump.check_listed(report, "x", kept, wanted)
                self.assertEqual(report.results[0].status, status)


if __name__ == "__main__":
    unittest.main()
