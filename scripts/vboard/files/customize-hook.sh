#!/bin/sh

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# mmdebstrap's customize hook: makes the root $1 a board named $2 at the
# address $3 on its link, reached by ssh with the key $4 only.
set -e
r=$1 name=$2 address=$3 key=$4
echo "$name" >"$r/etc/hostname"
printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s\n' "$name" >"$r/etc/hosts"
echo '/dev/vda / ext4 rw,noatime,errors=remount-ro 0 1' >"$r/etc/fstab"
mkdir -p "$r/etc/systemd/network"
printf '[Match]\nName=e*\n\n[Network]\nAddress=%s/16\nLinkLocalAddressing=ipv6\n' \
  "$address" >"$r/etc/systemd/network/20-board-link.network"
chroot "$r" systemctl enable systemd-networkd.service
# Nothing on the board runs on a timer: the idle figures are the service's.
chroot "$r" systemctl mask apt-daily.timer apt-daily-upgrade.timer \
  e2scrub_all.timer fstrim.timer systemd-tmpfiles-clean.timer
printf 'PasswordAuthentication no\nPermitRootLogin prohibit-password\n' \
  >"$r/etc/ssh/sshd_config.d/board.conf"
install -d -m 700 "$r/root/.ssh"
install -m 600 "$key" "$r/root/.ssh/authorized_keys"
ls "$r"/boot/initrd.img-* >/dev/null 2>&1 || chroot "$r" update-initramfs -c -k all
