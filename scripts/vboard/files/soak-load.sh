# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# The load of a soak, for $1 seconds: the mute written 10 times a second (or
# as fast as the state tool goes) in bursts of 5 s, each followed by a pause
# of 1 s after which "pause WORD REPORTED" is printed: the word written last
# and the host's latest report ("muted", "unmuted"); the connection status
# once a second; an interaction every 2 s. From the environment:
#   VANTOR_STATE   the state tool with its --config
#   INTERACTIONS   where a character starts an interaction (FIFO or pipe)
#   REPORTED       a command that prints the host's log
end=$((SECONDS + $1))
statuses=(CONNECTED CONNECTING DISCONNECTED_FROM_INTERNET CONNECTED)
burst=0 writes=0
exec 4>"$INTERACTIONS"
while ((SECONDS < end)); do
  burst=$((burst + 1))
  for second in 1 2 3 4 5; do
    $VANTOR_STATE network "${statuses[$(((burst * 5 + second) % 4))]}" ||
      echo "network write failed"
    ((second % 2)) || printf x >&4
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      # Drawn here: a subshell's RANDOM would repeat the parent's.
      if ((RANDOM % 2)); then word=on; else word=off; fi
      $VANTOR_STATE mic "$word" || echo "mic write failed"
      writes=$((writes + 1))
      sleep 0.07
    done
  done
  sleep 1
  reported=$($REPORTED | grep -E 'Microphone:? (muted|unmuted)$' | tail -n 1)
  echo "pause $word ${reported##* }"
done
echo "writes $writes"
