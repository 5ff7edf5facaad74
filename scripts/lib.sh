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

# What every native build needs.
BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev nlohmann-json3-dev libavahi-compat-libdnssd-dev)

repo_root() {
  cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd
}
