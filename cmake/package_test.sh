#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Builds the Debian packages of this build tree and checks their metadata and
# contents; installs the board set (vantor-device, vantor-device-sample) with
# dpkg into a fresh root, over a 0.1.0-layout package, and runs the sample,
# the service's command and the tool from there. In a cross build the SDK
# package joins them and the root serves as the board sysroot that the
# example client and plug-in are built against. Target programs of a cross
# build run under EMULATOR.
#   package_test.sh <build dir> <source dir> [<emulator command>]
set -euo pipefail
build=$1 src=$2 emulator=${3:-}
tmp=$(mktemp -d /tmp/vantor_package_test.XXXXXX)
sample_pid=
cleanup() {
  [[ -n $sample_pid ]] && kill "$sample_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_in() {  # expect_in FILE TEXT
  grep -qF -- "$2" "$1" || { cat "$1" >&2; fail "'$2' missing from $1"; }
}
run() {
  # shellcheck disable=SC2086  # The emulator is a command line.
  $emulator "$@"
}

cpack --config "$build/CPackConfig.cmake" -B "$tmp/debs" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack failed"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' \
  "$build/CPackConfig.cmake")
arch=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "\(.*\)")$/\1/p' \
  "$build/CPackConfig.cmake")
names=(vantor-device vantor-device-sample vantor-device-dev)
declare -A deb
for name in "${names[@]}"; do
  deb[$name]=$tmp/debs/${name}_${version}_$arch.deb
  [[ -f ${deb[$name]} ]] || fail "no ${deb[$name]##*/}: $(ls "$tmp/debs")"
done
(($(find "$tmp/debs" -maxdepth 1 -name '*.deb' | wc -l) == 3)) ||
  fail "expected three packages: $(ls "$tmp/debs")"
field() { dpkg-deb -f "${deb[$1]}" "$2"; }

# ---- Metadata ---------------------------------------------------------------
summaries=()
for name in "${names[@]}"; do
  [[ $(field "$name" Package) == "$name" && $(field "$name" Version) == "$version" &&
     $(field "$name" Architecture) == "$arch" ]] ||
    fail "$name: $(dpkg-deb -f "${deb[$name]}" Package Version Architecture)"
  # A summary line, then the long description: every line indented by
  # exactly one space, paragraphs separated by " .".
  dpkg-deb -f "${deb[$name]}" Description >"$tmp/description"
  summary=$(head -n 1 "$tmp/description")
  [[ -n $summary && $summary != " "* && ${#summary} -le 80 ]] ||
    fail "$name: summary '$summary'"
  summaries+=("$summary")
  (($(wc -l <"$tmp/description") >= 3)) || fail "$name: no long description"
  if tail -n +2 "$tmp/description" | grep -v '^ [^ ]'; then
    fail "$name: description lines not indented by one space"
  fi
done
[[ $(printf '%s\n' "${summaries[@]}" | sort -u | wc -l) == 3 ]] ||
  fail "the packages share a summary: ${summaries[*]}"

depends=$(field vantor-device Depends)
for needed in libavahi-compat-libdnssd1 libstdc++6 libc6; do
  [[ $depends == *"$needed"* ]] || fail "vantor-device Depends lacks $needed: $depends"
done
[[ $depends != *vantor* ]] || fail "vantor-device depends on $depends"
depends=$(field vantor-device-sample Depends)
[[ $depends == *"vantor-device (= $version)"* && $depends == *libc6* ]] ||
  fail "vantor-device-sample Depends: $depends"
for name in vantor-device-sample vantor-device-dev; do
  for relation in Breaks Replaces; do
    [[ $(field $name $relation) == "vantor-device (<< 0.2.0)" ]] ||
      fail "$name $relation: $(field $name $relation)"
  done
done
[[ -z $(field vantor-device-dev Depends) ]] ||
  fail "vantor-device-dev Depends: $(field vantor-device-dev Depends)"
[[ $(field vantor-device-dev Recommends) == "vantor-device-sample (= $version)" ]] ||
  fail "vantor-device-dev Recommends: $(field vantor-device-dev Recommends)"

# ---- Contents ---------------------------------------------------------------
for name in "${names[@]}"; do
  dpkg-deb -c "${deb[$name]}" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' |
    sort >"$tmp/$name.files"
  # Every file under /etc is a conffile, and every conffile is there.
  dpkg-deb -e "${deb[$name]}" "$tmp/$name.control"
  grep '^/etc/' "$tmp/$name.files" >"$tmp/$name.etc" || true
  sort -o "$tmp/$name.conffiles" "$tmp/$name.control/conffiles" 2>/dev/null ||
    : >"$tmp/$name.conffiles"
  cmp -s "$tmp/$name.etc" "$tmp/$name.conffiles" ||
    fail "$name: conffiles $(cat "$tmp/$name.conffiles") for /etc files $(cat "$tmp/$name.etc")"
done
shared=$(sort "$tmp"/*.files | uniq -d)
[[ -z $shared ]] || fail "files in two packages: $shared"
has() {  # has PACKAGE REGEX...
  local name=$1 pattern
  shift
  for pattern in "$@"; do
    grep -qE "^$pattern\$" "$tmp/$name.files" || fail "$name lacks $pattern"
  done
}
lacks() {  # lacks PACKAGE REGEX
  if grep -E "$2" "$tmp/$1.files"; then fail "$1 holds $2"; fi
}
multiarch=/usr/lib/[a-z0-9_]+-linux-gnu[a-z]*
has vantor-device "$multiarch/vantor-plugins/libvantor_network\.so" \
  "$multiarch/vantor-plugins/libvantor_system\.so" /usr/bin/vantor-state \
  /etc/NetworkManager/dispatcher.d/90-vantor-state
lacks vantor-device 'libvantor\.so$|assistant_sample|\.a$|/include/|/share/doc/'
has vantor-device-sample "$multiarch/libvantor\.so" /usr/bin/assistant_sample \
  /etc/vantor/config\.json /usr/lib/systemd/system/vantor-sample\.service
lacks vantor-device-sample 'vantor-plugins|vantor-state|\.a$|/include/|/share/doc/'
has vantor-device-dev "$multiarch/libvantor_client\.a" \
  "$multiarch/libvantor_plugin\.a" /usr/include/vantor/core/logging\.h \
  "$multiarch/cmake/VantorClient/VantorClientConfig\.cmake" \
  "$multiarch/pkgconfig/vantor-client\.pc" \
  /usr/share/vantor/toolchains/arm-linux-gnueabihf\.cmake \
  /usr/share/doc/vantor-device/docs/plugins\.md \
  /usr/share/doc/vantor-device/examples/plugin/files_plugin\.cc
lacks vantor-device-dev '\.so$|/bin/'
# The SDK package holds the documents and everything they link to.
while IFS= read -r doc; do
  while IFS= read -r target; do
    target=${target%%#*}
    [[ -z $target || $target == *://* ]] && continue
    target=$(realpath -m "$(dirname "$doc")/$target")
    grep -qxF "$target" "$tmp/vantor-device-dev.files" ||
      grep -qF "$target/" "$tmp/vantor-device-dev.files" ||
      fail "vantor-device-dev: $doc links to $target, which it lacks"
  done < <(dpkg-deb --fsys-tarfile "${deb[vantor-device-dev]}" |
    tar -xO ".$doc" | grep -o '\](\([^)]*\))' | sed 's/^\](\(.*\))$/\1/')
done < <(grep '\.md$' "$tmp/vantor-device-dev.files")
[[ -x $tmp/vantor-device-sample.control/postinst &&
   $(cat "$tmp/vantor-device-sample.control/triggers") == "activate-noawait ldconfig" ]] ||
  fail "vantor-device-sample: maintainer scripts"

# ---- dpkg -i into a fresh root, over the 0.1.0 layout -----------------------
# 0.1.0's one package held the sample, the host and the documentation; the
# new sample and SDK packages take files over from it.
old=$tmp/old
for f in usr/bin/assistant_sample usr/bin/vantor-state usr/lib/libvantor.so \
  usr/lib/vantor-plugins/libvantor_network.so \
  usr/lib/vantor-plugins/libvantor_system.so \
  usr/share/doc/vantor-device/README.md \
  usr/share/doc/vantor-device/docs/troubleshooting.md; do
  mkdir -p "$(dirname "$old/$f")"
  echo "0.1.0" >"$old/$f"
done
mkdir -p "$old/DEBIAN"
printf '%s\n' "Package: vantor-device" "Version: 0.1.0" "Architecture: $arch" \
  "Maintainer: test <test@vantor.invalid>" "Description: the 0.1.0 layout" \
  " One package." >"$old/DEBIAN/control"
dpkg-deb -b "$old" "$tmp/old.deb" >/dev/null
new_root() {
  root=$1
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
}
# The root has no shell: maintainer scripts run outside it (ours check
# DPKG_ROOT and do nothing then).
dpkg_root() {
  dpkg --root="$root" --force-depends --force-architecture \
    --force-script-chrootless "$@" >>"$tmp/dpkg.log" 2>&1 ||
    { cat "$tmp/dpkg.log"; fail "dpkg $*"; }
}
# The SDK over 0.1.0, in a root of its own: it takes the documents over.
new_root "$tmp/sdk-upgrade"
dpkg_root -i "$tmp/old.deb"
dpkg_root --auto-deconfigure -i "${deb[vantor-device-dev]}" \
  "${deb[vantor-device]}"
[[ $(cat "$root/usr/share/doc/vantor-device/README.md") != 0.1.0 ]] ||
  fail "vantor-device-dev did not take README.md over"

new_root "$tmp/root"
dpkg_root -i "$tmp/old.deb"
# The sample package first, as apt may order them: it overwrites 0.1.0's
# file, which Replaces allows, and its Breaks deconfigures 0.1.0 meanwhile.
dpkg_root --auto-deconfigure -i "${deb[vantor-device-sample]}" \
  "${deb[vantor-device]}"
for name in vantor-device vantor-device-sample; do
  status=$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Version} ${db:Status-Abbrev}' "$name")
  [[ $status == "$version ii " ]] || fail "$name in the root: '$status'"
done
dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Conffiles}\n' \
  vantor-device-sample | grep -q '^ /etc/vantor/config.json [0-9a-f]' ||
  fail "/etc/vantor/config.json is not a registered conffile"
[[ -x $root/etc/NetworkManager/dispatcher.d/90-vantor-state ]] ||
  fail "the NetworkManager hook is not executable"
# Stripped programs, the plug-ins where the host looks: beside libvantor.so.
if file "$root/usr/bin/assistant_sample" | grep -q 'not stripped'; then
  fail "assistant_sample is not stripped"
fi
host=$(find "$root/usr/lib" -mindepth 2 -maxdepth 2 -name libvantor.so)
[[ -n $host && ! -e $root/usr/lib/libvantor.so ]] ||
  fail "libvantor.so is not (only) in the multiarch folder: $host"
plugins=$(realpath "$(dirname "$host")/vantor-plugins")

# ---- Run from the root --------------------------------------------------------
cat >"$tmp/config.json" <<JSON
{"platform_config": {"mic_state_path": "$tmp/state/mic_state",
                     "connection_status_path": "$tmp/state/network_state"},
 "vantor_host": {}}
JSON
mkdir -p "$tmp/state"
unset VANTOR_PLUGIN_DIR VANTOR_CONFIG
export XDG_CONFIG_HOME=$tmp/home
# The folder the host names, as the program sees it: $plugins, unless set.
expected_plugins=
expect_plugins() {  # expect_plugins LOG NAME...
  local log=$1 name folder expected=${expected_plugins:-$plugins}
  shift
  folder=$(sed -n 's/.*Loading plug-ins from //p' "$log" | head -n 1)
  [[ -n $folder && $(realpath -m "$folder") == "$expected" ]] ||
    { cat "$log"; fail "plug-ins loaded from '$folder', not $expected"; }
  for name in "$@"; do
    grep -qE "Loaded plug-in [^ ]*/$name( |\$)" "$log" ||
      { cat "$log"; fail "$name not loaded"; }
  done
}
printf 'abc' | run "$root/usr/bin/assistant_sample" "$tmp/config.json" \
  2>"$tmp/err" || { cat "$tmp/err"; fail "packaged assistant_sample failed"; }
expect_plugins "$tmp/err" libvantor_network.so libvantor_system.so
expect_in "$tmp/err" "StartAssistantInteraction: interaction 3"

run "$root/usr/bin/vantor-state" --config "$tmp/config.json" network CONNECTED
[[ $(cat "$tmp/state/network_state") == CONNECTED ]] ||
  fail "packaged vantor-state did not write"
[[ $(run "$root/usr/bin/vantor-state" --config "$root/etc/vantor/config.json" \
  path mic) == /var/lib/vantor/state/mic_state ]] ||
  fail "/etc/vantor/config.json does not keep the mic state in /var/lib/vantor/state"
[[ $(run "$root/usr/bin/vantor-state" --config "$root/etc/vantor/config.json" \
  path connection) == /run/vantor/network_state ]] ||
  fail "/etc/vantor/config.json does not keep the connection status in /run/vantor"

# The service: systemd accepts the unit, and its command line, given what a
# service gets (standard input /dev/null), keeps the sample running and
# starts an interaction per character written to the FIFO. Paths move into
# the root and the scratch folder.
unit=$root/usr/lib/systemd/system/vantor-sample.service
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify "$unit" >"$tmp/verify.log" 2>&1 ||
    { cat "$tmp/verify.log"; fail "systemd-analyze verify $unit"; }
fi
grep -qx 'WantedBy=multi-user.target' "$unit" || fail "the unit cannot be enabled"
service_line() {  # The value of KEY= in the unit, paths moved.
  sed -n "s/^$1=//p" "$unit" | sed -e "s|/run/vantor/|$tmp/run/vantor/|g" \
    -e "s|exec /usr/bin/|exec ${emulator:+$emulator }$root/usr/bin/|g"
}
mkdir -p "$tmp/run/vantor"
# The FIFO comes from the sample's tmpfiles.d entry at boot.
mkfifo -m 0620 "$tmp/run/vantor/interactions"
start=$(service_line ExecStart | sed "s|^/bin/sh -c '\(.*\)'$|\1|")
[[ $start == *"$root/usr/bin/assistant_sample"* ]] ||
  fail "unexpected ExecStart: $start"
VANTOR_CONFIG=$tmp/config.json sh -c "$start" </dev/null \
  >"$tmp/service.out" 2>"$tmp/service.err" &
sample_pid=$!
for input in a b; do
  timeout 30 sh -c 'printf %s "$1" >"$2"' - "$input" \
    "$tmp/run/vantor/interactions" || fail "nobody reads the FIFO"
done
for ((i = 0; i < 100; i++)); do
  grep -q 'interaction 2' "$tmp/service.err" && break
  sleep 0.2
done
expect_in "$tmp/service.err" "StartAssistantInteraction: interaction 2"
sleep 1
kill -0 "$sample_pid" 2>/dev/null ||
  { cat "$tmp/service.err"; fail "the service's sample ended with its writers gone"; }
kill "$sample_pid"
wait "$sample_pid" 2>/dev/null || true
sample_pid=

# ---- The SDK in the root ----------------------------------------------------
dpkg_root -i "${deb[vantor-device-dev]}"
# pkg-config reports the board's plug-in folder, not the root's.
board_libdir=${host#"$root"}
board_libdir=${board_libdir%/libvantor.so}
pc() {
  PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_PATH= \
    PKG_CONFIG_LIBDIR=$root$board_libdir/pkgconfig pkg-config "$@"
}
for name in vantor-client vantor-plugin; do
  [[ $(pc --variable=plugindir $name) == "$board_libdir/vantor-plugins" ]] ||
    fail "$name plugindir in the sysroot: $(pc --variable=plugindir $name)"
  [[ $(pc --define-variable=device_root="$root" --variable=plugindir $name) == \
    "$root$board_libdir/vantor-plugins" ]] || fail "$name plugindir in the image"
  [[ $(pc --cflags $name) == "-I$root/"* ]] ||
    fail "$name cflags outside the sysroot: $(pc --cflags $name)"
done

# A cross build: the root is the board sysroot that the examples are built
# against, with the toolchain file from the SDK package. Their programs run
# as the toolchain runs a board root's: qemu-arm -L <root>.
sdk=
if [[ -n $emulator ]]; then
  # dpkg ran with --force-depends, so the root lacks what a board's apt
  # installs with our packages (libmicrohttpd for the host, say), which
  # linking against the root needs: bring in every shared library that the
  # root's programs and libraries need, transitively, from this machine's
  # libraries of the board's architecture. The cross toolchain's own (C and
  # C++ runtime) stay with the toolchain.
  toolchain_libs=/usr/$(basename "$board_libdir")/lib
  queue=($(find "$root/usr" -type f -name '*.so*') "$root/usr/bin/"*)
  while ((${#queue[@]})); do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for soname in $(readelf -d "$file" 2>/dev/null |
      sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
      [[ -e $root$board_libdir/$soname || -e $toolchain_libs/$soname ]] &&
        continue
      for dir in "$board_libdir" "/lib/${board_libdir##*/}"; do
        if [[ -e $dir/$soname ]]; then
          cp -L "$dir/$soname" "$root$board_libdir/$soname"
          queue+=("$root$board_libdir/$soname")
          break
        fi
      done
    done
  done
  toolchain=$root/usr/share/vantor/toolchains/arm-linux-gnueabihf.cmake
  for example in client plugin; do
    cp -r "$src/examples/$example" "$tmp/$example"
    cmake -S "$tmp/$example" -B "$tmp/$example-build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVANTOR_SYSROOT="$root" \
      -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$tmp/$example.log" 2>&1 ||
      { cat "$tmp/$example.log"; fail "$example does not configure on the sysroot"; }
    grep -q "^VantorClient_DIR:PATH=$root/" "$tmp/$example-build/CMakeCache.txt" ||
      fail "$example found the SDK outside the sysroot"
    cmake --build "$tmp/$example-build" >>"$tmp/$example.log" 2>&1 ||
      { cat "$tmp/$example.log"; fail "$example does not build on the sysroot"; }
  done
  board() { "${emulator%% *}" -L "$root" "$@"; }
  board "$tmp/client-build/example_client" "$tmp/config.json" 2 >"$tmp/out" \
    2>"$tmp/err" || { cat "$tmp/err"; fail "sysroot client failed"; }
  expect_in "$tmp/out" "ran 2 interaction(s)"
  # The client found the host where the board has it (qemu maps the root
  # there), so the host names the board's folder.
  expected_plugins=$board_libdir/vantor-plugins
  expect_plugins "$tmp/err" libvantor_network.so libvantor_system.so
  expected_plugins=
  cp "$tmp/plugin-build/libvantor_files.so" "$plugins/"
  printf 'a' | board "$root/usr/bin/assistant_sample" "$tmp/config.json" \
    2>"$tmp/err" || { cat "$tmp/err"; fail "sample with the sysroot plug-in failed"; }
  expect_plugins "$tmp/err" libvantor_files.so libvantor_network.so \
    libvantor_system.so
  expect_in "$tmp/err" "Plug-in libvantor_files.so provides the file provider"
  sdk=", client and plug-in built on it as a board sysroot and run"
fi

for name in "${names[@]}"; do
  echo "${deb[$name]##*/}: $(stat -c %s "${deb[$name]}") bytes," \
    "$(wc -l <"$tmp/$name.files") files, Depends: $(field "$name" Depends)"
done
echo "package_test: board set installed with dpkg into a fresh root and run" \
  "from it$sdk ${emulator:+(under $emulator)}"
