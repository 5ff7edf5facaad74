# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: $3 renames of the mic state file $1, $4 ms apart
# (timed_renames, each `rename MICROSECONDS WORD`), then the unit $2's
# Microphone lines since, each `log SECONDS muted|unmuted` (both clocks:
# since the epoch). Exit 3: timed_renames failed.
c=$(journalctl -u "$2" -n 1 -o export | sed -n 's/^__CURSOR=//p')
timed_renames "$1" "$3" "$4" off on >/tmp/renames || exit 3
sleep 2
journalctl -q -u "$2" --after-cursor "$c" -o short-unix |
  sed -n 's/^\([0-9.]*\) .*Microphone \(muted\|unmuted\)$/log \1 \2/p'
sed 's/^/rename /' /tmp/renames
