#!/bin/sh

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# mmdebstrap's essential hook on the root $1: the initrd gets only what finds
# the root disk on the virt machine.
set -e
mkdir -p "$1/etc/initramfs-tools/conf.d" "$1/usr/share/initramfs-tools/modules.d"
echo MODULES=list >"$1/etc/initramfs-tools/conf.d/board.conf"
printf 'virtio_mmio\nvirtio_blk\next4\n' >"$1/usr/share/initramfs-tools/modules.d/board"
