# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: exits 0 once this boot's journal of the unit $1 has a line
# matching the basic regular expression $2, within $3 s; 1 otherwise.
for _ in $(seq $(($3 * 5))); do
  journalctl -q -b -u "$1" -o cat | grep -q -e "$2" && exit 0
  sleep 0.2
done
exit 1
