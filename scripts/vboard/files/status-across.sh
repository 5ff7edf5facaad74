# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: the unit $1's status line (sd_notify STATUS=) across the
# command $4...: prints "MS<TAB>LINE" for the line before it and for each
# change after it began, MS from its start; ends at the first change that
# matches the extended regular expression $3, or after $2 s (exit 1).
# Polled here, not over ssh: a line may last two seconds.
unit=$1 limit=$2 until=$3
shift 3
status() { systemctl show -P StatusText "$unit"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
last=$(status)
start=$(now_ms)
printf '0\t%s\n' "$last"
"$@" >/dev/null 2>&1 &
while [ $(($(now_ms) - start)) -lt $((limit * 1000)) ]; do
  line=$(status)
  if [ "$line" != "$last" ]; then
    printf '%s\t%s\n' $(($(now_ms) - start)) "$line"
    last=$line
    if printf '%s\n' "$line" | grep -qE -- "$until"; then
      wait
      exit 0
    fi
  fi
  sleep 0.1
done
wait
exit 1
