#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Installs the build tree into a fresh prefix, builds the example client
# (CMake package and pkg-config) and the example plug-in against that prefix
# alone, with the installed toolchain file in a cross build, and runs them,
# the installed sample and the installed tool against the installed host.
# Target programs of a cross build run under EMULATOR.
#   install_test.sh <build dir> <source dir> <libdir> <c++ compiler>
#                   [<toolchain file> <emulator command>]
set -euo pipefail
build=$1 src=$2 libdir=$3 cxx=$4 toolchain=${5:-} emulator=${6:-}
tmp=$(mktemp -d /tmp/vantor_install_test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
docdir=$prefix/share/doc/vantor-device

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_in() {  # expect_in FILE TEXT
  grep -qF -- "$2" "$1" || { cat "$1" >&2; fail "'$2' missing from $1"; }
}
# A target program, under the emulator in a cross build.
run() {
  # shellcheck disable=SC2086  # The emulator is a command line.
  $emulator "$@"
}

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log"

for f in bin/assistant_sample bin/vantor-state "$libdir/libvantor.so" \
  "$libdir/vantor-plugins/libvantor_network.so" \
  "$libdir/vantor-plugins/libvantor_system.so" "$libdir/libvantor_client.a" \
  "$libdir/libvantor_plugin.a" \
  include/vantor/prebuilt/lib/assistant_client.h \
  include/vantor/core/logging.h include/vantor/core/version.h \
  include/vantor/prebuilt/lib/plugin_factory.h \
  "$libdir/cmake/VantorClient/VantorClientConfig.cmake" \
  "$libdir/cmake/VantorClient/vantor-plugin-exports.map" \
  "$libdir/pkgconfig/vantor-client.pc" "$libdir/pkgconfig/vantor-plugin.pc" \
  share/vantor/toolchains/arm-linux-gnueabihf.cmake \
  lib/systemd/system/vantor-sample.service etc/vantor/config.json \
  lib/sysusers.d/vantor-device.conf lib/sysusers.d/vantor-sample.conf \
  lib/tmpfiles.d/vantor-device.conf lib/tmpfiles.d/vantor-sample.conf \
  share/man/man1/vantor-state.1 share/man/man1/assistant_sample.1 \
  etc/NetworkManager/dispatcher.d/90-vantor-state \
  share/doc/vantor-device/examples/plugin/files_plugin.cc; do
  [[ -e $prefix/$f ]] || fail "$f not installed"
done
[[ -x $prefix/etc/NetworkManager/dispatcher.d/90-vantor-state ]] ||
  fail "the NetworkManager hook is not executable"
# Only deliverables: no test programs, fuzzers or build-tree paths.
if grep -rlF -- "$build" "$prefix/$libdir/cmake" "$prefix/$libdir/pkgconfig"; then
  fail "installed package files name the build tree"
fi
readelf -d "$prefix/bin/assistant_sample" | grep -q 'R.*PATH.*\$ORIGIN' ||
  fail "assistant_sample has no \$ORIGIN-relative run path"

# Every relative link of the installed documents leads to an installed file.
links=0
while IFS= read -r doc; do
  while IFS= read -r target; do
    target=${target%%#*}
    [[ -z $target || $target == *://* ]] && continue
    [[ -e $(dirname "$doc")/$target ]] ||
      fail "${doc#"$docdir/"} links to $target, which is not installed"
    links=$((links + 1))
  done < <(grep -o '\](\([^)]*\))' "$doc" | sed 's/^\](\(.*\))$/\1/')
done < <(find "$docdir" -name '*.md')
((links > 0)) || fail "no links checked in $docdir"

# Every installed header stands alone on the installed include folder.
headers=0
while IFS= read -r header; do
  echo "#include \"${header#"$prefix/include/vantor/"}\"" |
    "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra -Werror -Wno-psabi \
      -I"$prefix/include/vantor" -x c++ - ||
    fail "$header does not compile on its own"
  headers=$((headers + 1))
done < <(find "$prefix/include/vantor" -name '*.h')

# The examples are copied out so that nothing resolves into the tree.
cmake_args=(-G Ninja -DCMAKE_PREFIX_PATH="$prefix"
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
if [[ -n $toolchain ]]; then
  # The installed copy, as a project of the device maker's would use it.
  cmake_args+=(
    -DCMAKE_TOOLCHAIN_FILE="$prefix/share/vantor/toolchains/$(basename "$toolchain")")
else
  cmake_args+=(-DCMAKE_CXX_COMPILER="$cxx")
fi
for example in client plugin assistant_client; do
  cp -r "$src/examples/$example" "$tmp/$example"
  cmake -S "$tmp/$example" -B "$tmp/$example-cmake" "${cmake_args[@]}" \
    >"$tmp/$example-configure.log" 2>&1 ||
    { cat "$tmp/$example-configure.log"; fail "$example does not configure"; }
  cmake --build "$tmp/$example-cmake" >"$tmp/$example-build.log" 2>&1 ||
    { cat "$tmp/$example-build.log"; fail "$example does not build (CMake)"; }
done

# find_package(VantorClient REQUEST): a client written for any release since
# the host API version began (0.1.0) is served, none for a newer release.
version=$(sed -n 's/^Version: //p' "$prefix/$libdir/pkgconfig/vantor-client.pc")
IFS=. read -r major minor patch <<<"$version"
mkdir -p "$tmp/request"
cat >"$tmp/request/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.19)
project(request LANGUAGES CXX)
find_package(VantorClient ${REQUEST} REQUIRED COMPONENTS plugin)
CMAKE
requests=0
for request in "0.1 yes" "0.1.0 yes" "$major.$minor yes" "$version yes" \
  "$major.$minor.$((patch + 1)) no" "$major.$((minor + 1)) no" \
  "$((major + 1)).0 no" "0.0.9 no" "0.1...$version yes" \
  "0.1...<$version no" "0.0...$version no" \
  "$major.$((minor + 1))...$((major + 1)).0 no"; do
  read -r wanted accepted <<<"$request"
  rm -rf "$tmp/request-build"
  # With the examples' compiler: the version file refuses another word size.
  if cmake -S "$tmp/request" -B "$tmp/request-build" -DREQUEST="$wanted" \
    "${cmake_args[@]}" >"$tmp/request.log" 2>&1; then
    got=yes
  else
    got=no
  fi
  [[ $got == "$accepted" ]] ||
    { cat "$tmp/request.log"; fail "find_package(VantorClient $wanted): $got, not $accepted"; }
  requests=$((requests + 1))
done

export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
# Cflags reach every user of the library: include paths only.
for pc in vantor-client vantor-plugin; do
  for flag in $(pkg-config --cflags "$pc"); do
    [[ $flag == -I* ]] || fail "$pc Cflags carry $flag"
  done
done
pkg_libdir=$(pkg-config --variable=libdir vantor-client)
[[ $(realpath "$pkg_libdir") == "$(realpath "$prefix/$libdir")" ]] ||
  fail "pkg-config libdir $pkg_libdir is not $prefix/$libdir"
plugins=$prefix/$libdir/vantor-plugins
for pc in vantor-client vantor-plugin; do
  [[ $(pkg-config --variable=plugindir $pc) == "$plugins" ]] ||
    fail "$pc plugindir is $(pkg-config --variable=plugindir $pc), not $plugins"
done
# shellcheck disable=SC2046  # pkg-config output is a word list.
"$cxx" -std=c++17 -Wall -Wextra -Werror -Wno-psabi -o "$tmp/client-pkgconfig" \
  "$tmp/client/client.cc" $(pkg-config --cflags --libs vantor-client) \
  -Wl,-rpath,"$pkg_libdir" || fail "client does not build (pkg-config)"
mkdir -p "$tmp/pkgconfig"
# shellcheck disable=SC2046
"$cxx" -std=c++17 -Wall -Wextra -Werror -Wno-psabi -shared -fPIC \
  -o "$tmp/pkgconfig/libvantor_files.so" "$tmp/plugin/files_plugin.cc" \
  $(pkg-config --cflags --libs vantor-plugin) \
  $(pkg-config --variable=plugin_cflags vantor-plugin) -Wl,-z,defs \
  -Wl,--version-script="$(pkg-config --variable=exportmap vantor-plugin)" ||
  fail "plug-in does not build (pkg-config)"

# The plug-ins export their entry point and no more than the system's own
# plug-ins do, and never need the host library.
dynamic_symbols() {  # Defined ones; readelf reads any target's files.
  readelf -W --dyn-syms "$1" |
    awk '$1 ~ /^[0-9]+:$/ && $7 != "UND" && $8 != "" { sub(/@.*/, "", $8); print $8 }' |
    sort -u
}
dynamic_symbols "$plugins/libvantor_system.so" >"$tmp/ours"
dynamic_symbols "$plugins/libvantor_network.so" >>"$tmp/ours"
sort -u -o "$tmp/ours" "$tmp/ours"
for plugin in "$tmp/plugin-cmake/libvantor_files.so" \
  "$tmp/pkgconfig/libvantor_files.so"; do
  dynamic_symbols "$plugin" >"$tmp/theirs"
  grep -qx NewVantorPlatformEntrypoint "$tmp/theirs" ||
    fail "$plugin does not export NewVantorPlatformEntrypoint"
  extra=$(comm -13 "$tmp/ours" "$tmp/theirs")
  [[ -z $extra ]] || fail "$plugin exports more than our plug-ins: $extra"
  if readelf -d "$plugin" | grep -q 'NEEDED.*libvantor\.so'; then
    fail "$plugin links the host library"
  fi
done
exported=$(wc -l <"$tmp/theirs")

# Run everything from the prefix, with the host's default plug-in folder.
unset VANTOR_PLUGIN_DIR VANTOR_CONFIG
export XDG_CONFIG_HOME=$tmp/home
mkdir -p "$tmp/state"
cat >"$tmp/config.json" <<JSON
{
  "platform_config": {
    "mic_state_path": "$tmp/state/mic_state",
    "connection_status_path": "$tmp/state/network_state",
    "files_folder": "$tmp/files",
  },
  "vantor_host": {},
}
JSON
real_plugins=$(realpath "$plugins")
# The host in the prefix loaded the plug-ins named from the prefix. The host
# names its folder as the loader found it (maybe through $ORIGIN/..), so
# paths are compared resolved.
expect_plugins() {  # expect_plugins LOG NAME...
  local log=$1 folder loaded expected
  shift
  folder=$(sed -n 's/.*Loading plug-ins from //p' "$log" | head -n 1)
  [[ -n $folder && $(realpath "$folder") == "$real_plugins" ]] ||
    { cat "$log" >&2; fail "plug-ins loaded from '$folder', not $real_plugins"; }
  loaded=$(sed -n 's/.*Loaded plug-in \([^ ]*\).*/\1/p' "$log" |
    while read -r path; do realpath "$path"; done | sort | paste -sd' ')
  expected=$(printf "$real_plugins/%s\n" "$@" | sort | paste -sd' ')
  [[ $loaded == "$expected" ]] ||
    { cat "$log" >&2; fail "loaded plug-ins: '$loaded', not '$expected'"; }
}

for client in "$tmp/client-cmake/example_client" "$tmp/client-pkgconfig"; do
  run "$client" "$tmp/config.json" 3 >"$tmp/out" 2>"$tmp/err" ||
    { cat "$tmp/err"; fail "$client failed"; }
  expect_in "$tmp/out" "ran 3 interaction(s)"
  expect_in "$tmp/err" "StartAssistantInteraction: interaction 3"
  expect_plugins "$tmp/err" libvantor_network.so libvantor_system.so
done

# The client that hears everything, run by its own test against the
# installed host, plug-ins and tool.
EMULATOR=$emulator "$tmp/assistant_client/assistant_client_test.sh" \
  "$tmp/assistant_client-cmake/assistant_client" "$prefix/bin/vantor-state" ||
  fail "assistant_client_test against the installed SDK"

printf 'ab' | run "$prefix/bin/assistant_sample" "$tmp/config.json" \
  2>"$tmp/err" || { cat "$tmp/err"; fail "installed assistant_sample failed"; }
expect_in "$tmp/err" "StartAssistantInteraction: interaction 2"
expect_plugins "$tmp/err" libvantor_network.so libvantor_system.so

# The bundled configuration names every key the plug-ins read: a run on it
# (its state files moved here) has no configuration warning.
sed "s|\"/tmp/vantor-data/|\"$tmp/bundled/|" \
  "$docdir/config/default_config.json" >"$tmp/bundled.json"
grep -q "$tmp/bundled/assistant/mic_state" "$tmp/bundled.json" ||
  fail "the bundled configuration has no mic_state_path"
mkdir -p "$tmp/bundled/assistant"
printf 'a' | run "$prefix/bin/assistant_sample" "$tmp/bundled.json" \
  2>"$tmp/err" || { cat "$tmp/err"; fail "sample on the bundled configuration failed"; }
expect_plugins "$tmp/err" libvantor_network.so libvantor_system.so
if grep 'config_accessor' "$tmp/err"; then
  fail "the bundled configuration leaves keys out"
fi

# The example plug-in, in the host's folder, is loaded with ours and logs in
# the system's format.
cp "$tmp/plugin-cmake/libvantor_files.so" "$plugins/"
printf 'a' | run "$prefix/bin/assistant_sample" "$tmp/config.json" \
  2>"$tmp/err" || { cat "$tmp/err"; fail "sample with the example plug-in failed"; }
expect_plugins "$tmp/err" libvantor_files.so libvantor_network.so \
  libvantor_system.so
expect_in "$tmp/err" "Plug-in libvantor_files.so provides the file provider"
expect_in "$tmp/err" "] Keeping the assistant's files in $tmp/files"
grep -q '^\[INFO:files_plugin\.cc([0-9]*)\] Example files plug-in, SDK ' \
  "$tmp/err" || { cat "$tmp/err"; fail "the example plug-in's log line"; }
# Each plug-in binds its own copy of the runtime, built either way, in one
# process with the host and ours.
# shellcheck disable=SC2086  # The emulator is a command line.
for built in plugin-cmake pkgconfig; do
  folder=$tmp/bindings-$built
  mkdir -p "$folder"
  cp "$tmp/$built/libvantor_files.so" "$plugins/libvantor_network.so" \
    "$plugins/libvantor_system.so" "$folder/"
  "$src/testing/check_bindings.sh" readelf "$prefix/bin/assistant_sample" \
    "$tmp/config.json" "$prefix/$libdir/libvantor.so" "$folder"/*.so \
    ${emulator:+-- $emulator} >"$tmp/bindings.log" 2>&1 ||
    { cat "$tmp/bindings.log"; fail "$built plug-in: bindings"; }
done
rm "$plugins/libvantor_files.so"

run "$prefix/bin/vantor-state" --config "$tmp/config.json" mic off
[[ $(cat "$tmp/state/mic_state") == off ]] || fail "vantor-state did not write"
version=$(run "$prefix/bin/vantor-state" --version)
[[ $version == "vantor-state $(pkg-config --modversion vantor-client)" ]] ||
  fail "vantor-state --version says '$version'"

# Without a host library, plug-ins still configure; clients say what is
# missing.
rm "$prefix/$libdir/libvantor.so"
for example in client plugin; do
  rm -rf "$tmp/$example-nohost"
  cmake -S "$tmp/$example" -B "$tmp/$example-nohost" "${cmake_args[@]}" \
    >"$tmp/$example-nohost.log" 2>&1 && echo ok >>"$tmp/$example-nohost.log"
done
grep -qx ok "$tmp/plugin-nohost.log" ||
  { cat "$tmp/plugin-nohost.log"; fail "the plug-in needs the host library"; }
if grep -qx ok "$tmp/client-nohost.log"; then
  fail "the client configured without a host library"
fi
expect_in "$tmp/client-nohost.log" "component client: no host library at"

echo "install_test: $headers headers, $links document links, $requests" \
  "version requests, 3 clients," \
  "2 plug-ins ($exported exports each), sample and tool ran from $plugins/.." \
  "${emulator:+under $emulator}"
