# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: $1 rounds of `TOOL --config $2 mic on|off` for each writer
# named after them, taking turns write by write, so load on the machine
# running the emulator weighs on each alike. Prints `TOOL MICROSECONDS` per
# write; exit 3 when a write fails.
samples=$1 config=$2
shift 2
for i in $(seq "$samples"); do
  w=on
  [ $((i % 2)) = 0 ] && w=off
  for t in "$@"; do
    s=$(date +%s%N)
    "$t" --config "$config" mic $w || exit 3
    e=$(date +%s%N)
    echo "$t $(((e - s) / 1000))"
  done
done
