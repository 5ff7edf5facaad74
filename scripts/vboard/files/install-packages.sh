# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: installs the packages $@ with its own apt from the signed
# repository across the link, as a device maker's image does: the
# repository's keyring and deb822 source (from the small disk, where the
# image would have put them), Debian's sources put aside (the board is
# offline; the repository carries what it needs from Debian too).
set -e
mkdir -p /mnt/vantor-repo
mountpoint -q /mnt/vantor-repo || mount -o ro LABEL=vantor-repo /mnt/vantor-repo
[ ! -e /etc/apt/sources.list ] || mv /etc/apt/sources.list /etc/apt/sources.list.offline
install -d -m 755 /etc/apt/keyrings
install -m 644 /mnt/vantor-repo/vantor-archive-keyring.gpg /etc/apt/keyrings/
install -m 644 /mnt/vantor-repo/vantor-*.sources /etc/apt/sources.list.d/
# The repository's dates are checked as on a device, whatever apt.conf says.
apt-get update -q --error-on=any -o Acquire::Check-Valid-Until=true \
  -o Acquire::Check-Date=true
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
apt-get check -q
install -m 755 /mnt/vantor-repo/tools/timed_renames /usr/local/bin/
