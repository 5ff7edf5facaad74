#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Runs the example client against the stand-in host and the plug-ins and
# checks what it hears: the order of a turn's events, device events, the
# microphone switched with vantor-state (one OnMicMutedChange per change),
# the debug handlers over HTTP (curl), the media playlist, and that every
# object handed to the host is let go once at the end.
#
#   assistant_client_test.sh <assistant_client> <vantor-state>
#
# $EMULATOR (words) runs both programs, for a cross build.
set -euo pipefail
client=$1 state_tool=$2
read -r -a emulator <<<"${EMULATOR:-}"
tmp=$(mktemp -d /tmp/assistant_client_test.XXXXXX)
client_pid=
cleanup() {
  exec 3>&- 2>/dev/null || true
  if [[ -n $client_pid ]]; then
    kill "$client_pid" 2>/dev/null || true
    wait "$client_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

out=$tmp/out err=$tmp/err
fail() {
  echo "FAIL: $*" >&2
  echo "--- client output" >&2
  cat "$out" >&2 || true
  echo "--- host log" >&2
  cat "$err" >&2 || true
  exit 1
}
count() { grep -cF -- "$1" "$out" || true; }
# wait_for TEXT [COUNT]: until TEXT is in the output COUNT times (10 s).
wait_for() {
  local n=${2:-1} i
  for ((i = 0; i < 500; i++)); do
    (($(count "$1") >= n)) && return 0
    sleep 0.02
  done
  fail "waited for '$1' x$n"
}
send() { echo "$*" >&3; }
state() { "${emulator[@]}" "$state_tool" --config "$tmp/config.json" "$@"; }

mkdir -p "$tmp/state" "$tmp/audio" "$tmp/home"
echo on >"$tmp/state/mic_state"
cat >"$tmp/config.json" <<JSON
{
  "platform_config": {
    "mic_state_path": "$tmp/state/mic_state",
    "connection_status_path": "$tmp/state/network_state",
  },
  "vantor_host": {
    "debug_http_port": 0,
    "audio_output_dir": "$tmp/audio",
    "recognition_step_ms": 20,
    "reply_word_ms": 60,
    "scenario": [
      {"heard": "turn the volume up", "action": "volume_up", "reply": "Up."},
      {"event": "alarm", "after_ms": 0, "duration_ms": 20000},
      {"heard": "what time is it", "reply": "Noon.", "resolution": "follow_up"},
      {"heard": "thanks"}
    ]
  }
}
JSON

mkfifo "$tmp/commands"
XDG_CONFIG_HOME=$tmp/home "${emulator[@]}" "$client" "$tmp/config.json" \
  <"$tmp/commands" >"$out" 2>"$err" &
client_pid=$!
exec 3>"$tmp/commands"
wait_for "client: ready"
port=$(sed -n 's|.*Debug server on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$err")
[[ -n $port ]] || fail "the host names no debug port"
# Start-up: the listener first, then the callback.
[[ $(grep -m2 -E '^(device: OnStartFinished|client: Start callback)' "$out" |
  paste -sd,) == "device: OnStartFinished,client: Start callback" ]] ||
  fail "start-up order"

# The conversation and action lines of turn number $1.
turn_lines() {
  awk -v n="$1" '
    /OnConversationTurnStarted/ { turn++ }
    turn == n && /^(conversation|action):/ { print }
    turn == n && /OnConversationTurnFinished/ { exit }' "$out"
}
expect_turn() {  # expect_turn N <<< expected lines
  local expected
  expected=$(cat)
  [[ $(turn_lines "$1") == "$expected" ]] ||
    fail "turn $1 heard:
$(turn_lines "$1")
expected:
$expected"
}

# ---- A turn with a device action. --------------------------------------------
send turn
wait_for "OnConversationTurnFinished" 1
expect_turn 1 <<'EOF'
conversation: OnConversationTurnStarted(true)
conversation: OnRecognitionStateChanged(kStarted, "")
conversation: OnRecognitionStateChanged(kPartial, "turn")
conversation: OnRecognitionStateChanged(kPartial, "turn the")
conversation: OnRecognitionStateChanged(kPartial, "turn the volume")
conversation: OnRecognitionStateChanged(kPartial, "turn the volume up")
conversation: OnRecognitionStateChanged(kFinal, "turn the volume up")
action: GetContext
action: Execute volume_up
conversation: OnRespondingStarted(true)
conversation: OnRespondingFinished
conversation: OnConversationTurnFinished(kCompleted)
EOF
ls "$tmp/audio"/tts-1.wav >/dev/null || fail "the reply was not played"

# ---- The alarm behind it; StopTopInteraction ends it. ------------------------
wait_for "device: OnAlarmSoundingStarted"
send top
wait_for "device: OnAlarmSoundingFinished"
[[ $(grep -E '^device: (OnStopTopInteraction|OnAlarmSoundingFinished)' "$out" |
  head -n 2 | paste -sd,) == "device: OnStopTopInteraction,device: OnAlarmSoundingFinished" ]] ||
  fail "StopTopInteraction did not end the alarm"

# ---- A turn that expects a follow-up: the next one starts by itself. ---------
send turn
wait_for "OnConversationTurnFinished" 3
expect_turn 3 <<'EOF'
conversation: OnConversationTurnStarted(false)
conversation: OnRecognitionStateChanged(kStarted, "")
conversation: OnRecognitionStateChanged(kPartial, "thanks")
conversation: OnRecognitionStateChanged(kFinal, "thanks")
conversation: OnRespondingStarted(false)
conversation: OnRespondingFinished
conversation: OnConversationTurnFinished(kCompleted)
EOF
[[ $(turn_lines 2 | tail -n 1) == *"(kFollowUpExpected)" ]] ||
  fail "turn 2 did not expect a follow-up"

# ---- The microphone: each change reaches the client once; muted, no turn. ----
state mic off
wait_for "device: OnMicMutedChange(true)"
send turn
wait_for "client: no turn began"
grep -q "StartAssistantInteraction refused: the microphone is muted" "$err" ||
  fail "the host did not say why no turn began"
state mic off  # No change.
state mic on
wait_for "device: OnMicMutedChange(false)"
sleep 0.5  # Room for a duplicate to show.
(($(count "OnMicMutedChange(true)") == 1 && $(count "OnMicMutedChange(false)") == 1)) ||
  fail "OnMicMutedChange not once per change"

# ---- StopAssistantInteraction while it listens. ------------------------------
send cancel
wait_for "OnConversationTurnFinished" 4
turn_lines 4 | tail -n 1 | grep -qF "(kCancelled)" || fail "no kCancelled"
! turn_lines 4 | grep -q OnRespondingStarted || fail "a cancelled turn responded"

# ---- The debug handlers over HTTP. -------------------------------------------
url=http://127.0.0.1:$port
[[ $(curl -sS "$url/hello?name=dev") == "hello dev" ]] || fail "GET /hello"
[[ $(curl -s -o /dev/null -w '%{http_code}' "$url/hello") == 400 ]] ||
  fail "GET /hello without a name"
[[ $(curl -sS --data-binary 'ping pong' "$url/echo") == "ping pong" ]] ||
  fail "POST /echo"
curl -sS -D "$tmp/headers" "$url/count" >"$tmp/body"
[[ $(paste -sd, "$tmp/body") == "1,2,3" ]] || fail "GET /count: $(cat "$tmp/body")"
grep -qi '^transfer-encoding: chunked' "$tmp/headers" || fail "/count not chunked"
[[ $(curl -s -o /dev/null -w '%{http_code}' "$url/nothing") == 404 ]] || fail "404"
[[ $(curl -s -o /dev/null -w '%{http_code}' -X PUT "$url/hello") == 405 ]] ||
  fail "405"
send var build 42 and counting
wait_for "client: > var build"
for ((i = 0; i < 50; i++)); do
  curl -sS "$url/debug/variables" >"$tmp/variables"
  grep -qF '"build": "42 and counting"' "$tmp/variables" && break
  sleep 0.02
done
grep -qF '"build": "42 and counting"' "$tmp/variables" ||
  fail "debug variables: $(cat "$tmp/variables")"
curl -s --max-time 1 "$url/wait" >/dev/null && fail "/wait answered"
wait_for "debug: /wait: the client has gone"

# ---- The media playlist. -----------------------------------------------------
send media resume
wait_for 'media: OnPlaybackStateChange(playing, "Morning Test Tone"'
send media next
wait_for 'media: OnPlaybackStateChange(playing, "Loopback Blues"'
send media pause
wait_for 'media: OnPlaybackStateChange(paused, "Loopback Blues"'
send media stop
wait_for 'media: OnPlaybackStateChange(stopped, ""'

# ---- Shut down: every object handed over is let go once. ---------------------
send quit
exec 3>&-
status=0
wait "$client_pid" || status=$?
client_pid=
((status == 0)) || fail "the client exited with $status"
(($(count "released: device action handler") == 1)) || fail "handler release"
for path in /hello /echo /count /wait; do
  (($(count "released: debug handler $path") == 1)) || fail "$path release"
done
grep -qF "client: 5 debug context(s) received, 5 deleted" "$out" ||
  fail "debug contexts"
grep -qF "Assistant manager deleted after 3 interaction(s)" "$err" ||
  fail "the host's count of interactions"
echo "assistant_client_test: $(grep -c '' "$out") lines heard, all as expected"
