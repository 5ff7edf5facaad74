# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: writes each word read from standard input with the writer
# $1 (vantor-state or another build of it; configuration $2) to the state
# file $3, answering `ok WORD` or `fail WORD WHY` for each.
err=/tmp/powercut-$3.err
while read -r word; do
  if "$1" --config "$2" "$3" "$word" >/dev/null 2>"$err"; then
    echo "ok $word"
  else
    echo "fail $word $(head -c 200 "$err")"
  fi
done
