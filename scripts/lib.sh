# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Shared helpers for the project's scripts; source it, don't run it.
# shellcheck shell=bash

# The apt and package logic lives in scripts/debpkg (Python); the functions
# below are its shell entry points. Its folder is resolved once, here: a
# script may cd before calling them.
_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Runs scripts/debpkg's command line (python3 -m debpkg --help). A machine
# without python3 gets it first, plainly: the build machine's own
# architecture installs from whatever lists apt has, mirror sync or not.
debpkg() {
  if ! command -v python3 >/dev/null; then
    echo "Installing: python3"
    apt-get update >/dev/null 2>&1 || true
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
      --no-install-recommends --no-remove python3 >/dev/null || return
  fi
  PYTHONPATH=$_LIB_DIR${PYTHONPATH:+:$PYTHONPATH} PYTHONDONTWRITEBYTECODE=1 \
    python3 -m debpkg "$@"
}

# Installs the Debian packages that are not installed yet (as root), so a
# second run costs nothing. Names may carry an architecture (pkg:armhf);
# a|b is there when either is, and installs the first that apt offers.
# apt-get update is tried APT_RETRIES times (3), APT_RETRY_PAUSE s apart
# (20): a Debian mirror mid-sync serves, for a while, an index whose size
# does not match its Release file. A failed index need not matter to these
# packages; when it does, the packages are tried once more without its
# suite, and otherwise it says which index failed and which packages are
# missing. Nothing is ever removed; APT_SIMULATE=1 installs nothing.
#   ensure_packages PACKAGE...
ensure_packages() {
  (($#)) || return 0
  debpkg ensure "$@"
}

# Lets dpkg install packages of ARCH (armhf) beside the machine's own.
add_foreign_arch() {
  if [[ $1 != "$(dpkg --print-architecture)" ]] &&
    ! dpkg --print-foreign-architectures | grep -qx "$1"; then
    echo "Adding the $1 architecture to dpkg"
    dpkg --add-architecture "$1"
  fi
}

# The packages debian/control builds with, one a line, as apt names them:
# versions, build profiles and ":native" dropped, debhelper's own left out;
# alternatives (one package named differently by two releases) as a|b,
# which ensure_packages takes when either is there.
# The source package's list is the one list of what the code needs.
control_build_depends() {
  sed -n '/^Build-Depends:/,/^[A-Z][A-Za-z-]*:/p' \
    "$(dirname "${BASH_SOURCE[0]}")/../debian/control" |
    sed '1s/^Build-Depends://; /^[A-Z][A-Za-z-]*:/d' | tr ',' '\n' |
    sed 's/<[^>]*>//g; s/([^)]*)//g; s/[[:space:]]//g; s/:native//g' |
    grep -v -e '^$' -e '^debhelper-compat$' -e '^dh-sequence-'
}
mapfile -t CONTROL_BUILD_DEPENDS < <(control_build_depends)

# What every native build needs besides (dpkg-dev and file: the package
# test; curl: the example client's test; help2man: the check that the
# manual pages are current; mypy and flake8: the check of the scripts'
# Python; gnuplot-nox: the soak's plot).
# shellcheck disable=SC2034  # For the scripts that source this.
BUILD_PACKAGES=(build-essential dpkg-dev file curl help2man mypy flake8
  gnuplot-nox "${CONTROL_BUILD_DEPENDS[@]}")

# What scripts/mdns-daemon runs: a system bus, the mDNS daemon and the
# browser that the network tests read the advertisements back with.
# tcpdump and python3-zeroconf: the many-devices harness counts packets and
# browses as a second, independent observer.
# shellcheck disable=SC2034  # For the scripts that source this.
MDNS_PACKAGES=(dbus avahi-daemon avahi-utils tcpdump python3-zeroconf)

# What scripts/apt-repo makes and signs a repository with.
# shellcheck disable=SC2034  # For the scripts that source this.
REPO_PACKAGES=(apt-utils gnupg xz-utils)

# What a cross build for the device needs: Debian's cross compiler, qemu for
# running its programs, and the armhf multiarch packages it links (and runs
# with): debian/control's libraries for armhf. pkgconf:armhf provides
# arm-linux-gnueabihf-pkg-config for the target's .pc files. Only Boost's
# headers are used, the same for every architecture, so the build machine's
# libboost-dev of its release serves.
ARMHF_PACKAGES=(qemu-user g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf
  libc6:armhf libstdc++6:armhf curl)
for _package in "${CONTROL_BUILD_DEPENDS[@]}"; do
  case $_package in
    libboost*) ARMHF_PACKAGES+=("$_package") ;;
    lib* | pkgconf) ARMHF_PACKAGES+=("$_package:armhf") ;;
    *) ARMHF_PACKAGES+=("$_package") ;;
  esac
done
unset _package

# Enables the armhf architecture in dpkg, then installs ARMHF_PACKAGES.
ensure_armhf_packages() {
  add_foreign_arch armhf
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

# Finds the three packages of the tree's version that scripts/package left
# in DEB_DIR and checks their debug packages; sets |version|, |arch|,
# |names| and |deb| (package name -> .deb path). Fails through fail().
#   load_packages DEB_DIR SOURCE_DIR
load_packages() {
  (($# == 2)) || { echo "usage: load_packages DEB_DIR SOURCE_DIR" >&2; return 2; }
  local found key value path
  found=$(debpkg load "$1" "$2") || fail "$found"
  names=()
  declare -gA deb=()
  while read -r key value path; do
    # shellcheck disable=SC2034  # The caller's.
    case $key in
      version) version=$value ;;
      arch) arch=$value ;;
      deb)
        names+=("$value")
        deb[$value]=$path
        ;;
    esac
  done <<<"$found"
}

repo_root() {
  cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd
}
