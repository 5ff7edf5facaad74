#!/bin/bash

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# The first process of the board's network, mount and pid namespaces
# (link.py): private /run folders, the tap device $2 with the build
# machine's address $3, a D-Bus and an avahi-daemon of their own; then
# $run/link-up, and the emulator (the rest of the command line), whose exit
# status lands in $run/qemu-exit. Everything in here ends with it.
set -e
run=$1 tap=$2 address=$3
shift 3
for dir in /run/dbus /run/avahi-daemon; do
  mount -t tmpfs board-link "$dir"
done
ip link set lo up
ip tuntap add dev "$tap" mode tap
ip address add "$address/16" dev "$tap"
ip link set "$tap" up
dbus-daemon --system --fork
avahi-daemon -f "$run/avahi-link.conf" --no-drop-root --no-chroot \
  --no-rlimits -D
touch "$run/link-up"
set +e
"$@"
echo $? >"$run/qemu-exit"
