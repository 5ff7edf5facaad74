# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""How long the harness waits for anything, and the bounds a run must keep,
in one table. Emulation is slow and the build machine is often busy with
other emulated work, so the time limits leave room to spare: a limit
reached is a failure, not a slow success."""

# ---- Programs on this machine -----------------------------------------------
# Any program run here that names no limit of its own.
RUN_LIMIT_S = 600
# A child asked to end (SIGTERM), or left to end by itself, before it is
# killed.
END_GRACE_S = 10
# This machine's apt: the harness's packages, the board's dependencies.
HOST_APT_LIMIT_S = 1800
# scripts/package, which may build the whole tree for armhf first.
PACKAGE_LIMIT_S = 7200
# mmdebstrap of the base root file system, foreign stage under qemu-user.
BASE_BUILD_LIMIT_S = 3600
# The private binfmt_misc's namespace taking its maps and its go.
BINFMT_START_LIMIT_S = 5
GIT_LIMIT_S = 60
PLOT_LIMIT_S = 60

# ---- The board's power and link ---------------------------------------------
# The namespaces' first process making the tap device and its daemons.
LINK_UP_LIMIT_S = 10
# The namespaces ending after SIGTERM, and again after SIGKILL.
TEAR_DOWN_LIMIT_S = 10
# `systemctl poweroff` on the board to the emulator's end.
POWER_OFF_LIMIT_S = 120
# One look with avahi-browse; the command around it gets the slack on top.
LOOK_LIMIT_S = 20
LINK_SLACK_S = 30
# A board program of a set length (a look, a wait in the journal), beyond
# that length: ssh under emulation.
REMOTE_SLACK_S = 60
# A board program that watches for a set time, beyond that time.
WATCH_SLACK_S = 120

# ---- Commands on the board over ssh -----------------------------------------
# Any command on the board that names no limit of its own.
REMOTE_LIMIT_S = 120
# One `true` while waiting for ssh, and the poweroff's session.
SSH_TRY_LIMIT_S = 60
# Power-on to ssh: the first boot, and a boot after a power cut.
BOOT_SSH_LIMIT_S = 600
SSH_LIMIT_S = 600
# Power-on to the advertisement seen across the link, then to ssh.
BOOT_LINK_LIMIT_S = 600
SSH_AFTER_BOOT_LIMIT_S = 300
# apt on the board: the installation, an upgrade, dpkg --configure -a.
APT_LIMIT_S = 1800
# systemctl start, stop or restart, which wait for READY=1 or the stop.
SERVICE_CHANGE_LIMIT_S = 300
# files/write-latency.sh's timed writes.
WRITE_LATENCY_LIMIT_S = 1200

# ---- The service ------------------------------------------------------------
# A start to 'Advertised ...: SUCCESS'.
START_ADVERTISED_LIMIT_S = 120
# A boot or a change of version to the advertisement and the unit active.
ADVERTISED_LIMIT_S = 240
# How long the board's own avahi-browse may take to list the service. Under
# emulation it is slow: seen taking 57 s for a service that the plug-in had
# registered again 2.3 s after the daemon's restart (the build machine busy
# with other emulated work), and once over 30 s after a boot.
BROWSE_LIMIT_S = 120
# A fault and the restart behind it: WatchdogSec, RestartSec and a start
# under emulation.
RECOVERY_LIMIT_S = 120
# A crash to its core listed by coredumpctl: written, compressed and
# traced on the board's slow CPU.
CORE_LIMIT_S = 180
# vantor-sample-recover's first wait after a crash loop, and a start under
# emulation on top.
RECOVER_WAIT_S = 30
RECOVER_SLACK_S = 60
# systemd's own line about the unit reaching its journal.
SYSTEM_LINE_LIMIT_S = 10
# The writers of a power cut answering their last word.
QUIESCE_LIMIT_S = 30
# The soak's load ending after its set time.
LOAD_END_LIMIT_S = 120

# ---- Bounds a run must keep -------------------------------------------------
# The unit's sandbox as systemd-analyze security rates it (lower is safer).
MAX_EXPOSURE = 2.0
# RSS growth after the soak's warm-up, per hour (and in any shorter run).
RSS_KIB_PER_HOUR = 64
