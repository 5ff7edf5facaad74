// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the stand-in host plays: the "scenario" list of its configuration
// section, a timeline of conversation turns and device events.
//
//   "scenario": [
//     {"heard": "what time is it", "reply": "It is noon."},
//     {"heard": "set a timer", "reply": "Done.", "resolution": "completed"},
//     {"event": "timer", "after_ms": 1000, "duration_ms": 500},
//   ]
//
// A turn waits for a StartAssistantInteraction (or follows a turn that
// expects a follow-up); the events behind it are scheduled when it ends,
// each |after_ms| after that end (events at the head of the list: after the
// start). The list wraps around. docs/development-host.md has every field.
#ifndef HOST_SCENARIO_SCENARIO_H_
#define HOST_SCENARIO_SCENARIO_H_

#include <string>
#include <vector>

#include "platform/utils/config_accessor.h"
#include "prebuilt/lib/conversation_state_listener.h"

namespace vantor_host {

struct ScenarioTurn {
  std::string heard;   // The recognized text, in words.
  std::string reply;   // What the assistant says; played as audio.
  std::string action;  // Device action text for the handler; may be empty.
  assistant_client::ConversationStateListener::Resolution resolution =
      assistant_client::ConversationStateListener::kCompleted;
  float volume = -1;  // System volume to set, 0 to 1; below 0: none.
  std::string media;  // A media control to run: next, previous, resume,
                      // pause, stop; empty for none.
};

struct ScenarioEvent {
  enum class Kind { kAlarm, kTimer, kNotification, kHold, kAuthentication };
  Kind kind = Kind::kAlarm;
  int after_ms = 0;
  int duration_ms = 1000;     // Until the event's end call.
  bool authenticated = true;  // kAuthentication only.
};

struct ScenarioEntry {
  bool is_turn = true;
  ScenarioTurn turn;    // When |is_turn|.
  ScenarioEvent event;  // Otherwise.
};

struct Scenario {
  std::vector<ScenarioEntry> entries;
  int step_ms = 50;   // Between recognition steps.
  int word_ms = 120;  // Reply audio per word.

  bool HasTurns() const;
};

// The scenario of the host's configuration |section| (null: none). An
// entry that does not make sense is left out with one WARNING naming its
// index; a missing list gives the one-turn default.
Scenario ParseScenario(const assistant_reference::ConfigAccessor* section);

const char* ResolutionName(
    assistant_client::ConversationStateListener::Resolution resolution);
const char* EventName(ScenarioEvent::Kind kind);

}  // namespace vantor_host

#endif  // HOST_SCENARIO_SCENARIO_H_
