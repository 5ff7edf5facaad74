#!/bin/sh

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Runs the dispatcher hook beside this file for each NetworkManager event,
# with a stand-in nmcli and the real vantor-state, and checks the word that
# lands in the connection status file.
#   dispatcher_test.sh <vantor-state>
set -eu
tool=$1
hook=$(dirname "$0")/90-vantor-state
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

mkdir "$tmp/bin" "$tmp/state"
# Answers the three questions the hook asks from FAKE_* variables.
cat >"$tmp/bin/nmcli" <<'NMCLI'
#!/bin/sh
case "$*" in
  "-g GENERAL.TYPE device show "*) echo "${FAKE_TYPE:-}" ;;
  "-g TYPE connection show") printf '%s\n' ${FAKE_PROFILES:-} ;;
  "-g CONNECTIVITY general") echo "${FAKE_CONNECTIVITY:-}" ;;
  *) echo "nmcli: unexpected $*" >&2; exit 2 ;;
esac
NMCLI
chmod +x "$tmp/bin/nmcli"
printf '{"platform_config": {"connection_status_path": "%s"}}\n' \
  "$tmp/state/network_state" >"$tmp/config.json"

passed=0 failed=0
# check EXPECTED IFACE ACTION [VAR=value ...]; EXPECTED "-" means untouched.
check() {
  expected=$1 iface=$2 action=$3
  shift 3
  echo SENTINEL >"$tmp/state/network_state"
  env PATH="$tmp/bin:$PATH" VANTOR_STATE="$tool" \
    VANTOR_CONFIG="$tmp/config.json" "$@" "$hook" "$iface" "$action"
  got=$(cat "$tmp/state/network_state")
  [ "$expected" = - ] && expected=SENTINEL
  if [ "$got" = "$expected" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $action on '$iface' ($*): got $got, want $expected"
  fi
}

wifi="FAKE_TYPE=wifi"
check CONNECTING wlan0 pre-up $wifi
check CONNECTED wlan0 up $wifi FAKE_CONNECTIVITY=full
check CONNECTED wlan0 up $wifi FAKE_CONNECTIVITY=unknown
check DISCONNECTED_FROM_INTERNET wlan0 up $wifi FAKE_CONNECTIVITY=portal
check DISCONNECTED_FROM_INTERNET wlan0 up $wifi FAKE_CONNECTIVITY=limited
check DISCONNECTED_FROM_WIFI wlan0 down $wifi \
  "FAKE_PROFILES=802-3-ethernet 802-11-wireless"
check WIFI_NOT_CONFIGURED wlan0 down $wifi FAKE_PROFILES=802-3-ethernet
check CONNECTED "" connectivity-change CONNECTIVITY_STATE=FULL
check DISCONNECTED_FROM_INTERNET "" connectivity-change CONNECTIVITY_STATE=PORTAL
check DISCONNECTED_FROM_WIFI "" connectivity-change CONNECTIVITY_STATE=NONE
check UNKNOWN "" connectivity-change CONNECTIVITY_STATE=UNKNOWN
# Not Wi-Fi, or not a status event: the file stays as it was.
check - eth0 up FAKE_TYPE=ethernet FAKE_CONNECTIVITY=full
check - eth0 down FAKE_TYPE=ethernet
check - wlan0 dhcp4-change $wifi
check - wlan0 hostname $wifi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
