#!/usr/bin/env bash
# Installs the build tree into a fresh prefix, builds the example client
# against that prefix alone (CMake package and pkg-config) and runs it, the
# installed sample and the installed tool against the installed host.
#   install_test.sh <build dir> <source dir> <libdir> <c++ compiler>
set -euo pipefail
build=$1 src=$2 libdir=$3 cxx=$4
tmp=$(mktemp -d /tmp/vantor_install_test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_in() {  # expect_in FILE TEXT
  grep -qF -- "$2" "$1" || { cat "$1" >&2; fail "'$2' missing from $1"; }
}

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log"

for f in bin/assistant_sample bin/vantor-state "$libdir/libvantor.so" \
  "$libdir/vantor-plugins/libvantor_network.so" \
  "$libdir/vantor-plugins/libvantor_system.so" "$libdir/libvantor_client.a" \
  include/vantor/prebuilt/lib/assistant_client.h \
  "$libdir/cmake/VantorClient/VantorClientConfig.cmake" \
  "$libdir/pkgconfig/vantor-client.pc"; do
  [[ -e $prefix/$f ]] || fail "$f not installed"
done
# Only deliverables: no test programs, fuzzers or build-tree paths.
if grep -rlF -- "$build" "$prefix/$libdir/cmake" "$prefix/$libdir/pkgconfig"; then
  fail "installed package files name the build tree"
fi
readelf -d "$prefix/bin/assistant_sample" | grep -q 'R.*PATH.*\$ORIGIN' ||
  fail "assistant_sample has no \$ORIGIN-relative run path"

# Every installed header stands alone on the installed include folder.
headers=0
while IFS= read -r header; do
  echo "#include \"${header#"$prefix/include/vantor/"}\"" |
    "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra -Werror \
      -I"$prefix/include/vantor" -x c++ - ||
    fail "$header does not compile on its own"
  headers=$((headers + 1))
done < <(find "$prefix/include/vantor" -name '*.h')

# The client sources are copied out so that nothing resolves into the tree.
cp -r "$src/examples/client" "$tmp/client"
cmake -S "$tmp/client" -B "$tmp/client-cmake" -G Ninja \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$tmp/client-configure.log" ||
  { cat "$tmp/client-configure.log"; fail "client does not configure"; }
cmake --build "$tmp/client-cmake" >"$tmp/client-build.log" ||
  { cat "$tmp/client-build.log"; fail "client does not build (CMake)"; }

export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
pkg_libdir=$(pkg-config --variable=libdir vantor-client)
[[ $(realpath "$pkg_libdir") == "$(realpath "$prefix/$libdir")" ]] ||
  fail "pkg-config libdir $pkg_libdir is not $prefix/$libdir"
# shellcheck disable=SC2046  # pkg-config output is a word list.
"$cxx" -std=c++17 -Wall -Wextra -Werror -o "$tmp/client-pkgconfig" \
  "$tmp/client/client.cc" $(pkg-config --cflags --libs vantor-client) \
  -Wl,-rpath,"$pkg_libdir" || fail "client does not build (pkg-config)"

# Run everything from the prefix, with the host's default plug-in folder.
unset VANTOR_PLUGIN_DIR VANTOR_CONFIG
export XDG_CONFIG_HOME=$tmp/home
mkdir -p "$tmp/state"
cat >"$tmp/config.json" <<JSON
{
  "platform_config": {
    "mic_state_path": "$tmp/state/mic_state",
    "connection_status_path": "$tmp/state/network_state",
  },
  "vantor_host": {},
}
JSON
plugins=$(realpath "$prefix/$libdir/vantor-plugins")
# The host in the prefix loaded both plug-ins from the prefix. The host names
# its folder as the loader found it (maybe through $ORIGIN/..), so paths are
# compared resolved.
expect_plugins() {
  local folder loaded
  folder=$(sed -n 's/.*Loading plug-ins from //p' "$1" | head -n 1)
  [[ -n $folder && $(realpath "$folder") == "$plugins" ]] ||
    { cat "$1" >&2; fail "plug-ins loaded from '$folder', not $plugins"; }
  loaded=$(sed -n 's/.*Loaded plug-in //p' "$1" |
    while read -r path; do realpath "$path"; done | sort | paste -sd' ')
  [[ $loaded == "$plugins/libvantor_network.so $plugins/libvantor_system.so" ]] ||
    { cat "$1" >&2; fail "loaded plug-ins: '$loaded'"; }
}

for client in "$tmp/client-cmake/example_client" "$tmp/client-pkgconfig"; do
  "$client" "$tmp/config.json" 3 >"$tmp/out" 2>"$tmp/err" ||
    { cat "$tmp/err"; fail "$client failed"; }
  expect_in "$tmp/out" "ran 3 interaction(s)"
  expect_in "$tmp/err" "StartAssistantInteraction: interaction 3"
  expect_plugins "$tmp/err"
done

printf 'ab' | "$prefix/bin/assistant_sample" "$tmp/config.json" 2>"$tmp/err" ||
  { cat "$tmp/err"; fail "installed assistant_sample failed"; }
expect_in "$tmp/err" "StartAssistantInteraction: interaction 2"
expect_plugins "$tmp/err"

"$prefix/bin/vantor-state" --config "$tmp/config.json" mic off
[[ $(cat "$tmp/state/mic_state") == off ]] || fail "vantor-state did not write"

echo "install_test: $headers headers, 2 clients, sample and tool ran from $plugins/.."
