// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/scenario/scenario.h"

#include "core/logging.h"
#include "platform/utils/config_inspector.h"

namespace vantor_host {
namespace {

using Listener = assistant_client::ConversationStateListener;

constexpr char kScenarioKey[] = "scenario";
constexpr int kMaxMs = 10 * 60 * 1000;

struct ResolutionWord {
  const char* word;
  Listener::Resolution resolution;
};
constexpr ResolutionWord kResolutions[] = {
    {"completed", Listener::kCompleted},
    {"follow_up", Listener::kFollowUpExpected},
    {"no_response", Listener::kNoResponse},
    {"cancelled", Listener::kCancelled},
    {"error", Listener::kError},
};

struct EventWord {
  const char* word;
  ScenarioEvent::Kind kind;
};
constexpr EventWord kEvents[] = {
    {"alarm", ScenarioEvent::Kind::kAlarm},
    {"timer", ScenarioEvent::Kind::kTimer},
    {"notification", ScenarioEvent::Kind::kNotification},
    {"hold", ScenarioEvent::Kind::kHold},
    {"authentication", ScenarioEvent::Kind::kAuthentication},
};

constexpr const char* kMediaControls[] = {"next", "previous", "resume", "pause",
                                          "stop"};

using assistant_reference::ConfigAccessor;
using assistant_reference::ConfigInspector;

// Reads the optional fields of one entry; false with |*why| set when one
// has the wrong type or value.
class EntryReader {
 public:
  EntryReader(const ConfigAccessor& entry, std::string* why)
      : entry_(entry), why_(why) {}

  bool Has(const char* key) const { return Type(key) != "NUL"; }

  bool String(const char* key, std::string* out) {
    if (!Has(key))
      return true;
    if (Type(key) != "STRING")
      return Fail(std::string("\"") + key + "\" is not a string");
    *out = entry_.GetString(key, "");
    return true;
  }

  bool Number(const char* key, double low, double high, double* out) {
    if (!Has(key))
      return true;
    if (Type(key) != "NUMBER")
      return false;  // Before the getter, which would warn on its own.
    const double value = entry_.GetDouble(key, low - 1);
    if (value < low || value > high)
      return false;
    *out = value;
    return true;
  }

  bool Milliseconds(const char* key, int* out) {
    double value = *out;
    if (!Number(key, 0, kMaxMs, &value)) {
      return Fail(std::string("\"") + key + "\" is not a time from 0 to " +
                  std::to_string(kMaxMs) + " ms");
    }
    *out = static_cast<int>(value);
    return true;
  }

  bool Bool(const char* key, bool* out) {
    if (!Has(key))
      return true;
    if (Type(key) != "BOOL")
      return Fail(std::string("\"") + key + "\" is not true or false");
    *out = entry_.GetBool(key, false);
    return true;
  }

  bool Fail(const std::string& why) {
    *why_ = why;
    return false;
  }

 private:
  std::string Type(const char* key) const {
    return ConfigInspector::TypeOf(entry_, key);
  }

  const ConfigAccessor& entry_;
  std::string* const why_;
};

bool ReadTurn(const ConfigAccessor& entry,
              ScenarioTurn* turn,
              std::string* why) {
  EntryReader reader(entry, why);
  std::string resolution = "completed";
  if (!reader.String("heard", &turn->heard) ||
      !reader.String("reply", &turn->reply) ||
      !reader.String("action", &turn->action) ||
      !reader.String("resolution", &resolution) ||
      !reader.String("media", &turn->media)) {
    return false;
  }
  bool known = false;
  for (const ResolutionWord& word : kResolutions) {
    if (resolution == word.word) {
      turn->resolution = word.resolution;
      known = true;
    }
  }
  if (!known)
    return reader.Fail("resolution \"" + resolution + "\" is unknown");
  if (!turn->media.empty()) {
    known = false;
    for (const char* control : kMediaControls)
      known = known || turn->media == control;
    if (!known)
      return reader.Fail("media \"" + turn->media + "\" is unknown");
  }
  double volume = -1;
  if (!reader.Number("volume", 0, 1, &volume))
    return reader.Fail("\"volume\" is not a number from 0 to 1");
  turn->volume = static_cast<float>(volume);
  return true;
}

bool ReadEvent(const ConfigAccessor& entry,
               ScenarioEvent* event,
               std::string* why) {
  EntryReader reader(entry, why);
  std::string kind;
  reader.String("event", &kind);
  bool known = false;
  for (const EventWord& word : kEvents) {
    if (kind == word.word) {
      event->kind = word.kind;
      known = true;
    }
  }
  if (!known)
    return reader.Fail("event \"" + kind + "\" is unknown");
  return reader.Milliseconds("after_ms", &event->after_ms) &&
         reader.Milliseconds("duration_ms", &event->duration_ms) &&
         reader.Bool("authenticated", &event->authenticated);
}

Scenario DefaultScenario() {
  Scenario scenario;
  ScenarioEntry entry;
  entry.turn.heard = "hello";
  entry.turn.reply = "Hello, I am the development host.";
  scenario.entries.push_back(entry);
  return scenario;
}

int OptionalMs(const ConfigAccessor& section,
               const char* key,
               int default_value) {
  const std::string type = ConfigInspector::TypeOf(section, key);
  if (type == "NUL")
    return default_value;
  const double value = type == "NUMBER" ? section.GetDouble(key, 0) : 0;
  if (value < 1 || value > kMaxMs) {
    LOG(WARNING) << "vantor_host." << key << " is not a time from 1 to "
                 << kMaxMs << " ms; using " << default_value;
    return default_value;
  }
  return static_cast<int>(value);
}

}  // namespace

bool Scenario::HasTurns() const {
  for (const ScenarioEntry& entry : entries) {
    if (entry.is_turn)
      return true;
  }
  return false;
}

Scenario ParseScenario(const ConfigAccessor* section) {
  if (!section || !section->IsSectionPresent())
    return DefaultScenario();
  const std::string type = ConfigInspector::TypeOf(*section, kScenarioKey);
  Scenario scenario;
  if (type == "NUL") {
    scenario = DefaultScenario();
  } else if (type != "ARRAY") {
    LOG(WARNING) << "vantor_host.scenario is not a list; playing the default";
    scenario = DefaultScenario();
  } else {
    const auto list = ConfigInspector::ListElements(*section, kScenarioKey);
    for (size_t i = 0; i < list.size(); ++i) {
      const ConfigAccessor& item = *list[i];
      ScenarioEntry entry;
      std::string why = "it is not an object";
      bool ok = false;
      if (item.IsSectionPresent()) {
        entry.is_turn = ConfigInspector::TypeOf(item, "event") == "NUL";
        ok = entry.is_turn ? ReadTurn(item, &entry.turn, &why)
                           : ReadEvent(item, &entry.event, &why);
      }
      if (!ok) {
        LOG(WARNING) << "vantor_host.scenario[" << i
                     << "] is left out: " << why;
        continue;
      }
      scenario.entries.push_back(entry);
    }
  }
  scenario.step_ms = OptionalMs(*section, "recognition_step_ms", 50);
  scenario.word_ms = OptionalMs(*section, "reply_word_ms", 120);
  return scenario;
}

const char* ResolutionName(Listener::Resolution resolution) {
  for (const ResolutionWord& word : kResolutions) {
    if (resolution == word.resolution)
      return word.word;
  }
  return "out of range";
}

const char* EventName(ScenarioEvent::Kind kind) {
  for (const EventWord& word : kEvents) {
    if (kind == word.kind)
      return word.word;
  }
  return "out of range";
}

}  // namespace vantor_host
