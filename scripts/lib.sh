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
# libboost1.81-dev: the configuration parser, header-only).
BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libboost1.81-dev libavahi-compat-libdnssd-dev
  dpkg-dev file)

# What scripts/mdns-daemon runs: a system bus, the mDNS daemon and the
# browser that the network tests read the advertisements back with.
MDNS_PACKAGES=(dbus avahi-daemon avahi-utils)

repo_root() {
  cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd
}
