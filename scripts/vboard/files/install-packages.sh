# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: installs the packages $@ with its own apt from the
# repository disk, with Debian's sources put aside. The board is offline, so
# every Depends is met by the base or by the repository.
set -e
mkdir -p /mnt/vantor-repo
mountpoint -q /mnt/vantor-repo || mount -o ro LABEL=vantor-repo /mnt/vantor-repo
[ ! -e /etc/apt/sources.list ] || mv /etc/apt/sources.list /etc/apt/sources.list.offline
echo 'deb [trusted=yes] file:/mnt/vantor-repo ./' >/etc/apt/sources.list.d/vantor-local.list
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
apt-get check -q
install -m 755 /mnt/vantor-repo/tools/timed_renames /usr/local/bin/
