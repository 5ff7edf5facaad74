#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Two devices of one name on one link (scripts/mdns-link: each node with its
# own avahi-daemon), seen from a third node with avahi-browse:
# - one of them is renamed, says so in its log, and both are browsable;
# - the renamed one's withdrawal reaches the observer as a goodbye (avahi
#   keeps a goodbye's record 1 s, a record that merely ends lives 120 s);
# - started again while its link is down, it asks for the name the network
#   gave it (kept in its host's data), and linked up after 5 s it keeps it:
#   no clash, no rename, and the observer sees both within 10 s.
#
#   mdns_link_test.sh ASSISTANT_SAMPLE PLUGIN_DIR
#
# Exits with 77 where no namespaces can be had.
set -euo pipefail
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
if [[ ${1:-} != --inside ]]; then
  (($# == 2)) || { echo "usage: $0 ASSISTANT_SAMPLE PLUGIN_DIR" >&2; exit 2; }
  exec "$scripts/mdns-link" run dev1 dev2 obs -- "$0" --inside "$@"
fi
# Absolute: a node's shell starts at its root.
sample=$(realpath "$2") plugins=$(realpath "$3")
type=_vantorlink._tcp
name="Vantor Sample"
work=$(mktemp -d /tmp/mdns_link_test.XXXXXX)
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
link() { "$scripts/mdns-link" "$@"; }
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

# avahi-browse -p escapes a name's space and '#' as \032 and \035.
escaped() { sed -e 's/ /\\032/g' -e 's/#/\\035/g' <<<"$1"; }

# Starts the sample as device $1 (its own state folder and device id); it
# runs until its input, a FIFO held open here, ends.
declare -A input_fd
start_device() {
  local device=$1 fd
  mkdir -p "$work/$device"
  printf '{"platform_config": {}, "vantor_host": {"mdns_service_type": "%s", "mdns_instance_name": "%s", "device_id": "%s"}}\n' \
    "$type" "$name" "$device-$$" >"$work/$device/config.json"
  rm -f "$work/$device/in"
  mkfifo "$work/$device/in"
  exec {fd}<>"$work/$device/in"
  input_fd[$device]=$fd
  (
    # Every device's input is held here only, so that closing it ends it.
    for fd in "${input_fd[@]}"; do eval "exec $fd>&-"; done
    exec "$scripts/mdns-link" exec "$device" env XDG_CONFIG_HOME="$work/$device" \
      VANTOR_PLUGIN_DIR="$plugins" "$sample" "$work/$device/config.json" \
      <"$work/$device/in" 2>>"$work/$device/log"
  ) &
  echo $! >"$work/$device/pid"
}

stop_device() {
  local device=$1 fd=${input_fd[$1]}
  exec {fd}>&-
  wait "$(cat "$work/$device/pid")" || fail "$device exited with $?"
}

# Waits up to $2 s until the observer's log has a line matching $1.
observed() {
  local i
  for ((i = 0; i < $2 * 20; i++)); do
    grep -qF -- "$1" "$work/obs.log" && return 0
    sleep 0.05
  done
  return 1
}

# Waits up to $3 s until device $1's log has the text $2.
logged() {
  local i
  for ((i = 0; i < $3 * 20; i++)); do
    grep -qF -- "$2" "$work/$1/log" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

resolved() { echo "=;link0;IPv4;$(escaped "$1");$type;"; }

cleanup() {
  local device fd
  for device in dev1 dev2; do
    fd=${input_fd[$device]:-}
    [[ -n $fd ]] && exec {fd}>&- 2>/dev/null
  done
  kill %% 2>/dev/null || true
  if ((failures)); then
    for log in "$work"/*/log; do
      echo "---- $log"
      cat "$log"
    done >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT

link exec obs avahi-browse -rp "$type" >"$work/obs.log" 2>/dev/null &

# Which one the daemons rename is theirs to settle (mDNS compares the
# records); the renamed one says so, the other keeps quiet.
renamed_in() {
  local device
  for device in dev1 dev2; do
    grep -qF "$name.$type is advertised as '$name #2'" "$work/$device/log" &&
      echo "$device"
  done
  return 0
}

start_device dev1
observed "$(resolved "$name")" 15 || fail "dev1 not browsable as '$name'"
start_device dev2
observed "$(resolved "$name #2")" 15 || fail "no device browsable as '$name #2'"
sleep 1
renamed=$(renamed_in)
[[ $renamed == dev[12] ]] || fail "rename logged by '$renamed', not by one device"
other=dev1
[[ $renamed == dev1 ]] && other=dev2
logged "$renamed" "mDNS: the network shows this device as '$name #2'" 5 ||
  fail "$renamed's host did not log the name the network shows"
grep -E "is advertised as|mDNS: " "$work/$renamed/log" | sed "s/^/$renamed: /"

stop_device "$renamed"
stopped=$(now)
observed "-;link0;IPv4;$(escaped "$name #2");" 2 ||
  fail "no goodbye for '$name #2' within 2 s"
echo "goodbye seen $(since "$stopped") s after $renamed ended"

# Started again, alone on its side of a cable that is down, the device asks
# for the name the network gave it, which it keeps; with the cable back,
# there is no clash.
link cable "$renamed" down
: >"$work/$renamed/log"
start_device "$renamed"
logged "$renamed" "mDNS: asking for '$name #2', the name the network gave this device for '$name'" 15 ||
  fail "$renamed did not ask for the name it was given"
logged "$renamed" "Advertised $name #2.$type: SUCCESS" 15 ||
  fail "$renamed not registered while its link is down"
grep -q "is advertised as" "$work/$renamed/log" &&
  fail "$renamed renamed while alone on its link"
: >"$work/$other/log"
sleep 5
up=$(now)
link cable "$renamed" up
both=0
while awk -v s="$(since "$up")" 'BEGIN { exit !(s < 10) }'; do
  link exec obs avahi-browse -rpt "$type" >"$work/obs.now" 2>/dev/null || true
  if grep -qF -- "$(resolved "$name")" "$work/obs.now" &&
    grep -qF -- "$(resolved "$name #2")" "$work/obs.now"; then
    both=1
    break
  fi
done
((both)) || fail "the observer does not see both within 10 s of the link coming up"
echo "both browsable $(since "$up") s after the link came up"
sleep 1
grep -q "is advertised as" "$work/dev1/log" "$work/dev2/log" &&
  fail "a device was renamed after the link came up"
grep -E "is advertised as|mDNS: " "$work/$renamed/log" | sed "s/^/$renamed: /"

stop_device dev1
stop_device dev2
((failures == 0)) || exit 1
echo PASS
