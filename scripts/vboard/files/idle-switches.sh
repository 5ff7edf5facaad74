# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: the context switches (voluntary and not) of each thread of
# the process $1, as `before TID COMM N`, then, $2 s later, as `after ...`.
# One program, so nothing of this side's runs on the board in between.
snap() {
  for t in /proc/$1/task/*; do
    echo "$2 ${t##*/} $(tr ' ' _ <"$t/comm") $(awk '/ctxt_switches/ { s += $2 } END { print s }' "$t/status")"
  done
}
snap "$1" before
sleep "$2"
snap "$1" after
