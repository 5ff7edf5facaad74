# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: sets the mic with vantor-state ($1: on|off, $3 the
# configuration) and prints the Microphone lines of the unit $2 that follow:
# waits for one, then 2 s more for any other. Exit 3: vantor-state failed.
# A cursor of the unit's own: --after-cursor with -u skips the first match
# when the cursor's entry is not one.
c=$(journalctl -u "$2" -n 1 -o export | sed -n 's/^__CURSOR=//p')
vantor-state --config "$3" mic "$1" || exit 3
for _ in $(seq 100); do
  journalctl -q -u "$2" --after-cursor "$c" -o cat |
    grep -q -E 'Microphone (muted|unmuted)$' && break
  sleep 0.2
done
sleep 2
journalctl -q -u "$2" --after-cursor "$c" -o cat | grep -E 'Microphone (muted|unmuted)$'
exit 0
