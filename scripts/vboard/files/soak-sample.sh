# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: "RSS_KIB THREADS FDS MEMORY_KIB" of the service $1.
pid=$(systemctl show -P MainPID "$1")
group=$(systemctl show -P ControlGroup "$1")
rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
threads=$(awk '/^Threads:/ { print $2 }' "/proc/$pid/status")
fds=$(ls "/proc/$pid/fd" | wc -l)
memory=$(($(cat "/sys/fs/cgroup$group/memory.current") / 1024))
echo "$rss $threads $fds $memory"
