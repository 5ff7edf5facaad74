# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Shared helpers for the project's scripts; source it, don't run it.

# Installs the Debian packages that are not installed yet (as root), so a
# second run costs nothing.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$pkg")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# What every native build needs (dpkg-dev and file: the package test;
# libboost1.81-dev: the configuration parser, header-only; libmicrohttpd:
# the stand-in host's debug server; libavahi-client-dev: the stand-in host's
# view of the network; curl: the example client's test).
BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libboost1.81-dev libavahi-compat-libdnssd-dev
  libavahi-client-dev libmicrohttpd-dev dpkg-dev file curl)

# What scripts/mdns-daemon runs: a system bus, the mDNS daemon and the
# browser that the network tests read the advertisements back with.
MDNS_PACKAGES=(dbus avahi-daemon avahi-utils)

# What a cross build for the device needs: Debian's cross compiler, qemu for
# running its programs, and the armhf multiarch packages it links (and runs
# with). pkgconf:armhf provides arm-linux-gnueabihf-pkg-config for the
# target's .pc files. Only Boost's headers are used, the same for every
# architecture, so the build machine's libboost1.81-dev serves.
ARMHF_PACKAGES=(cmake ninja-build qemu-user
  g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf pkgconf:armhf
  libboost1.81-dev libc6:armhf libstdc++6:armhf
  libgtest-dev:armhf libgmock-dev:armhf libavahi-compat-libdnssd-dev:armhf
  libavahi-client-dev:armhf libmicrohttpd-dev:armhf curl)

# Enables the armhf architecture in dpkg, then installs ARMHF_PACKAGES.
ensure_armhf_packages() {
  if ! dpkg --print-foreign-architectures | grep -qx armhf; then
    echo "Adding the armhf architecture to dpkg"
    dpkg --add-architecture armhf
  fi
  ensure_packages "${ARMHF_PACKAGES[@]}" "$@"
}

# Creates the folders of the state files that CONFIG names, as
# `vantor-state path` reports them, so that the system plug-in can watch its
# folder from the start. The rest of the command line runs vantor-state
# (under an emulator, for a cross build). A configuration that cannot be
# read is left for the sample to report.
#   make_state_folders CONFIG [EMULATOR...] VANTOR_STATE
make_state_folders() {
  local config=$1 file path
  shift
  for file in connection mic; do
    path=$("$@" --config "$config" path "$file" 2>/dev/null) || return 0
    mkdir -p "$(dirname "$path")"
  done
}

repo_root() {
  cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd
}
