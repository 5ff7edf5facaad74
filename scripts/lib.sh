# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Shared helpers for the project's scripts; source it, don't run it.

# Installs the Debian packages that are not installed yet (as root), so a
# second run costs nothing. Names may carry an architecture (pkg:armhf).
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$pkg")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    # A failed index need not matter to these packages: apt_install says
    # when it does.
    apt_update || true
    apt_install "${missing[@]}"
  fi
}

# A Debian mirror mid-sync serves, for a while, an index whose size does not
# match its Release file, and apt-get update exits 100 for the whole run.
APT_RETRIES=${APT_RETRIES:-3}
APT_RETRY_PAUSE=${APT_RETRY_PAUSE:-20}
# The suites of the indexes that the last apt_update could not fetch, and
# apt's lines naming those indexes.
APT_FAILED_SUITES=()
APT_FAILED_INDEXES=()

# apt-get update, tried APT_RETRIES times with a pause. Returns 1 when some
# index still fails; the lists of the others are fresh then.
apt_update() {
  local try output
  for ((try = 1; ; try++)); do
    if output=$(apt-get update 2>&1); then
      APT_FAILED_SUITES=()
      APT_FAILED_INDEXES=()
      return 0
    fi
    # "Err:4 http://mirror.example/debian-security bookworm-security/main armhf Packages"
    mapfile -t APT_FAILED_INDEXES < <(sed -n 's/^Err:[0-9]* //p' <<<"$output")
    mapfile -t APT_FAILED_SUITES < <(printf '%s\n' "${APT_FAILED_INDEXES[@]}" |
      awk 'NF >= 2 { sub(/\/.*/, "", $2); print $2 }' | sort -u)
    ((try < APT_RETRIES)) || break
    echo "apt: update failed (try $try of $APT_RETRIES): ${APT_FAILED_INDEXES[*]:-see below};" \
      "again in ${APT_RETRY_PAUSE} s" >&2
    sleep "$APT_RETRY_PAUSE"
  done
  grep '^[EW]: ' <<<"$output" >&2 || echo "$output" >&2
  echo "apt: after $APT_RETRIES tries these indexes still fail (old lists or none used):" >&2
  printf 'apt:   %s\n' "${APT_FAILED_INDEXES[@]:-unknown}" >&2
  return 1
}

# apt-get install that never removes a package. When that fails and some
# suite's index could not be fetched, the packages are tried once more from
# the other suites alone: a security suite mid-sync for one architecture
# leaves Multi-Arch: same libraries at different versions on the two
# architectures. A library installed from that suite at a version the
# other architecture's lists lack is then taken, on both architectures, at
# the version both have (--allow-downgrades, for those libraries only).
# Arguments are package names (pkg, pkg:armhf) or .deb files. With
# APT_SIMULATE=1 nothing is installed (apt-get -s).
apt_install() {
  local log options=(-y -q --no-install-recommends --no-remove)
  export DEBIAN_FRONTEND=noninteractive
  [[ ${APT_SIMULATE:-0} == 1 ]] && options+=(-s)
  log=$(mktemp)
  if apt-get install "${options[@]}" "$@" >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  if ((${#APT_FAILED_SUITES[@]} == 0)); then
    cat "$log" >&2
    rm -f "$log"
    echo "apt: could not install $*" >&2
    return 1
  fi

  local lists without_suites pins
  lists=$(mktemp -d)
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(ARCHITECTURE)' \
    'Identifier: Packages' | sort -u | while read -r uri suite component arch; do
    printf '%s\n' "${APT_FAILED_SUITES[@]}" | grep -qxF "$suite" ||
      echo "deb [arch=$arch] $uri $suite $component"
  done >"$lists/sources.list"
  mkdir "$lists/parts"
  without_suites=(-o "Dir::Etc::SourceList=$lists/sources.list"
    -o "Dir::Etc::SourceParts=$lists/parts")
  echo "apt: installing without ${APT_FAILED_SUITES[*]}, whose index failed" >&2
  mapfile -t pins < <(apt_version_skew "${without_suites[@]}" -- "$@")
  if ((${#pins[@]})); then
    echo "apt: taking the version both architectures have: ${pins[*]}" >&2
    options+=(--allow-downgrades)
  fi
  if apt-get "${without_suites[@]}" install "${options[@]}" "$@" \
    ${pins[@]:+"${pins[@]}"} >"$log" 2>&1; then
    [[ ${APT_SIMULATE:-0} == 1 ]] && grep -E '^(Inst|Remv) ' "$log" >&2
    rm -rf "$log" "$lists"
    return 0
  fi
  cat "$log" >&2
  rm -rf "$log" "$lists"
  local missing=() pkg
  for pkg in "$@"; do
    [[ -f $pkg ]] && continue
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$pkg")
  done
  echo "apt: not installed: ${missing[*]:-$*}; failing index: ${APT_FAILED_INDEXES[*]}" >&2
  return 1
}

# Prints pkg:arch=version for each Multi-Arch: same library that PACKAGE...
# need (recursively) whose installed version on one architecture the lists
# (read with APT_OPTION...) lack for another architecture that it is
# needed on: both at the version the lists have for that architecture, when
# they have it for the installed one too.
#   apt_version_skew APT_OPTION... -- PACKAGE...
apt_version_skew() {
  local options=() names=() pkg dep
  while [[ $1 != -- ]]; do options+=("$1"); shift; done
  shift
  for pkg in "$@"; do
    if [[ -f $pkg ]]; then  # A .deb: what it depends on.
      for dep in $(dpkg-deb -f "$pkg" Depends | tr ',|' '\n\n' |
        sed 's/(.*)//; s/^ *//; s/ *$//'); do
        names+=("$dep")
      done
    else
      names+=("$pkg")
    fi
  done
  ((${#names[@]})) || return 0
  local build_arch name arch installed wanted skew
  build_arch=$(dpkg --print-architecture)
  skew=$(mktemp)
  apt-cache "${options[@]}" depends --recurse --no-recommends --no-suggests \
    --no-conflicts --no-breaks --no-replaces --no-enhances "${names[@]}" 2>/dev/null |
    sed -n 's/^ *\(Pre\)\{0,1\}Depends: \([^ <>]*\)$/\2/p; s/^\([^ <>]*\)$/\1/p' |
    sed -n "s/^\([^:]*\):\(.*\)$/\1 \2/p" | sort -u |
    while read -r name arch; do
      [[ $arch == "$build_arch" || $arch == any ]] || echo "$name:$build_arch $arch"
    done >"$skew"
  # Installed on the build architecture and Multi-Arch: same; what the
  # lists have for the other architecture; which versions the build
  # architecture can have. One query each.
  local same
  mapfile -t same < <(awk '{ print $1 }' "$skew" |
    xargs -r dpkg-query -W -f='${Package}:${Architecture} ${Version} ${Multi-Arch}\n' 2>/dev/null |
    awk '$3 == "same" { print $1, $2 }')
  if ((${#same[@]})); then
    {
      printf '%s\n' "${same[@]}" | sed 's/^/installed /'
      printf '%s\n' "${same[@]}" | awk '{ sub(/:.*/, "", $1); print $1 }' |
        while read -r name; do awk -v n="$name" 'index($1, n ":") == 1 { print $2 }' "$skew" |
          sed "s/^/$name:/"; done |
        xargs -r apt-cache "${options[@]}" show --no-all-versions 2>/dev/null |
        awk '/^Package: / { p = $2 } /^Architecture: / { a = $2 }
             /^Version: / { print "wanted", p, a, $2 }'
      printf '%s\n' "${same[@]}" | awk '{ print $1 }' |
        xargs -r apt-cache "${options[@]}" madison 2>/dev/null |
        awk -F' [|] ' '{ gsub(/ /, "", $1); print "available", $1, $2 }'
    } | awk -v b="$build_arch" '
      $1 == "installed" { split($2, na, ":"); installed[na[1]] = $3 }
      $1 == "wanted" { wanted[$2] = $4; warch[$2] = $3 }
      $1 == "available" { available[$2 " " $3] = 1 }
      END {
        for (n in wanted)
          if (n in installed && wanted[n] != installed[n] && (n " " wanted[n]) in available) {
            print n ":" b "=" wanted[n]
            print n ":" warch[n] "=" wanted[n]
          }
      }'
  fi | sort -u
  rm -f "$skew"
}

# Lets dpkg install packages of ARCH (armhf) beside the machine's own.
add_foreign_arch() {
  if [[ $1 != "$(dpkg --print-architecture)" ]] &&
    ! dpkg --print-foreign-architectures | grep -qx "$1"; then
    echo "Adding the $1 architecture to dpkg"
    dpkg --add-architecture "$1"
  fi
}

# Installs the build dependencies of the source tree SRC (debian/control)
# for the host architecture ARCH, through apt_install: a metapackage made by
# mk-build-deps that depends on them, removed again once they are in.
#   install_build_deps ARCH SRC
install_build_deps() {
  local arch=$1 src=$2 work deb
  ensure_packages devscripts equivs
  work=$(mktemp -d)
  (cd "$work" && mk-build-deps --host-arch "$arch" --build-arch \
    "$(dpkg --print-architecture)" --build-profiles nocheck \
    "$src/debian/control" >/dev/null)
  deb=$(ls "$work"/*.deb)
  apt_update || true
  apt_install "$deb"
  [[ ${APT_SIMULATE:-0} == 1 ]] ||
    dpkg --purge "$(dpkg-deb -f "$deb" Package)" >/dev/null
  rm -rf "$work"
}

# The packages debian/control builds with, one a line, as apt names them:
# versions, build profiles and ":native" dropped, debhelper's own left out.
# The source package's list is the one list of what the code needs.
control_build_depends() {
  sed -n '/^Build-Depends:/,/^[A-Z][A-Za-z-]*:/p' \
    "$(dirname "${BASH_SOURCE[0]}")/../debian/control" |
    sed '1s/^Build-Depends://; /^[A-Z][A-Za-z-]*:/d' | tr ',' '\n' |
    sed 's/<[^>]*>//g; s/([^)]*)//g; s/[[:space:]]//g; s/:native$//' |
    grep -v -e '^$' -e '^debhelper-compat$' -e '^dh-sequence-'
}
mapfile -t CONTROL_BUILD_DEPENDS < <(control_build_depends)

# What every native build needs besides (dpkg-dev and file: the package
# test; curl: the example client's test; help2man: the check that the
# manual pages are current).
BUILD_PACKAGES=(build-essential dpkg-dev file curl help2man
  "${CONTROL_BUILD_DEPENDS[@]}")

# What scripts/mdns-daemon runs: a system bus, the mDNS daemon and the
# browser that the network tests read the advertisements back with.
# tcpdump and python3-zeroconf: the many-devices harness counts packets and
# browses as a second, independent observer.
MDNS_PACKAGES=(dbus avahi-daemon avahi-utils tcpdump python3-zeroconf)

# What scripts/apt-repo makes and signs a repository with.
REPO_PACKAGES=(apt-utils gnupg xz-utils)

# What a cross build for the device needs: Debian's cross compiler, qemu for
# running its programs, and the armhf multiarch packages it links (and runs
# with): debian/control's libraries for armhf. pkgconf:armhf provides
# arm-linux-gnueabihf-pkg-config for the target's .pc files. Only Boost's
# headers are used, the same for every architecture, so the build machine's
# libboost1.81-dev serves.
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
  local debs=$1 src=$2 changes name dbgsym
  changes=$(ls "$debs"/*.changes 2>/dev/null | head -n 1)
  [[ -n $changes ]] || fail "no .changes in $debs: run scripts/package"
  version=$(sed -n 's/^Version: //p' "$changes")
  arch=$(sed -n 's/^Architecture: //p' "$changes" | tr ' ' '\n' | grep -vx source | head -n 1)
  [[ $version == "$(dpkg-parsechangelog -l "$src/debian/changelog" -SVersion)" ]] ||
    fail "$changes is version $version, not the tree's"
  names=(vantor-device vantor-device-sample vantor-device-dev)
  declare -gA deb
  for name in "${names[@]}"; do
    deb[$name]=$debs/${name}_${version}_$arch.deb
    [[ -f ${deb[$name]} ]] || fail "no ${deb[$name]##*/}: $(ls "$debs")"
  done
  (($(find "$debs" -maxdepth 1 -name '*.deb' ! -name '*-dbgsym_*' | wc -l) == 3)) ||
    fail "expected three packages: $(ls "$debs")"
  # The debug information of every program and library, by Build ID.
  for name in vantor-device vantor-device-sample; do
    dbgsym=$debs/${name}-dbgsym_${version}_$arch.deb
    [[ -f $dbgsym ]] || fail "no ${dbgsym##*/}"
    (($(dpkg-deb -c "$dbgsym" | grep -c '/usr/lib/debug/\.build-id/.*\.debug$') >= 2)) ||
      fail "${dbgsym##*/} holds no debug files"
  done
}

repo_root() {
  cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd
}
