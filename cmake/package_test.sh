#!/usr/bin/env bash
# Builds the Debian packages of this build tree, checks their dependencies,
# unpacks them into a fresh root and runs the sample from there with both
# plug-ins loaded.
#   package_test.sh <build dir>
set -euo pipefail
build=$1
tmp=$(mktemp -d /tmp/vantor_package_test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack failed"; }
shopt -s nullglob
runtime=("$tmp"/out/vantor-device_*.deb)
dev=("$tmp"/out/vantor-device-dev_*.deb)
((${#runtime[@]} == 1 && ${#dev[@]} == 1)) ||
  fail "expected one vantor-device and one vantor-device-dev package: $(ls "$tmp/out")"

depends=$(dpkg-deb -f "${runtime[0]}" Depends)
for needed in libavahi-compat-libdnssd1 libstdc++6 libc6; do
  [[ $depends == *"$needed"* ]] || fail "vantor-device Depends lacks $needed: $depends"
done
[[ $(dpkg-deb -f "${dev[0]}" Depends) == *"vantor-device (= "* ]] ||
  fail "vantor-device-dev does not depend on vantor-device"

root=$tmp/root
for deb in "${runtime[0]}" "${dev[0]}"; do
  dpkg-deb -x "$deb" "$root"
done
# The plug-ins sit where the host looks by default: beside libvantor.so.
host=$(find "$root/usr/lib" -maxdepth 2 -name libvantor.so | head -n 1)
[[ -n $host ]] || fail "no libvantor.so in the package"
for plugin in libvantor_network.so libvantor_system.so; do
  [[ -f $(dirname "$host")/vantor-plugins/$plugin ]] ||
    fail "$plugin not beside the host library"
done
# Packaged binaries are stripped.
if file "$root/usr/bin/assistant_sample" | grep -q 'not stripped'; then
  fail "assistant_sample is not stripped"
fi

cat >"$tmp/config.json" <<JSON
{"platform_config": {"mic_state_path": "$tmp/state/mic_state",
                     "connection_status_path": "$tmp/state/network_state"},
 "vantor_host": {}}
JSON
mkdir -p "$tmp/state"
unset VANTOR_PLUGIN_DIR
printf 'abc' | XDG_CONFIG_HOME=$tmp/home \
  "$root/usr/bin/assistant_sample" "$tmp/config.json" 2>"$tmp/err" ||
  { cat "$tmp/err"; fail "packaged assistant_sample failed"; }
plugins=$(realpath "$(dirname "$host")/vantor-plugins")
folder=$(sed -n 's/.*Loading plug-ins from //p' "$tmp/err" | head -n 1)
[[ -n $folder && $(realpath "$folder") == "$plugins" ]] ||
  { cat "$tmp/err"; fail "plug-ins loaded from '$folder', not $plugins"; }
for plugin in libvantor_network.so libvantor_system.so; do
  grep -q "Loaded plug-in .*/$plugin" "$tmp/err" ||
    { cat "$tmp/err"; fail "$plugin not loaded"; }
done
grep -q 'StartAssistantInteraction: interaction 3' "$tmp/err" ||
  { cat "$tmp/err"; fail "no interactions"; }

"$root/usr/bin/vantor-state" --config "$tmp/config.json" connection CONNECTED
[[ $(cat "$tmp/state/network_state") == CONNECTED ]] ||
  fail "packaged vantor-state did not write"

for deb in "${runtime[0]}" "${dev[0]}"; do
  echo "$(basename "$deb"): $(stat -c %s "$deb") bytes," \
    "Depends: $(dpkg-deb -f "$deb" Depends)"
done
