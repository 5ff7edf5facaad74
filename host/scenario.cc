#include "host/scenario.h"

#include <nlohmann/json.hpp>

#include "core/logging.h"

namespace vantor_host {
namespace {

using Json = nlohmann::json;
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

// Reads one entry; false with |*why| set when it makes no sense.
class EntryReader {
 public:
  EntryReader(const Json& entry, std::string* why) : entry_(entry), why_(why) {}

  bool String(const char* key, std::string* out) {
    auto it = entry_.find(key);
    if (it == entry_.end())
      return true;
    if (!it->is_string())
      return Fail(std::string("\"") + key + "\" is not a string");
    *out = it->get<std::string>();
    return true;
  }

  bool Milliseconds(const char* key, int* out) {
    auto it = entry_.find(key);
    if (it == entry_.end())
      return true;
    if (!it->is_number() || it->get<double>() < 0 ||
        it->get<double>() > kMaxMs) {
      return Fail(std::string("\"") + key + "\" is not a time from 0 to " +
                  std::to_string(kMaxMs) + " ms");
    }
    *out = static_cast<int>(it->get<double>());
    return true;
  }

  bool Fail(const std::string& why) {
    *why_ = why;
    return false;
  }

 private:
  const Json& entry_;
  std::string* const why_;
};

bool ReadTurn(const Json& entry, ScenarioTurn* turn, std::string* why) {
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
  if (auto it = entry.find("volume"); it != entry.end()) {
    if (!it->is_number() || it->get<double>() < 0 || it->get<double>() > 1)
      return reader.Fail("\"volume\" is not a number from 0 to 1");
    turn->volume = it->get<float>();
  }
  return true;
}

bool ReadEvent(const Json& entry, ScenarioEvent* event, std::string* why) {
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
  if (!reader.Milliseconds("after_ms", &event->after_ms) ||
      !reader.Milliseconds("duration_ms", &event->duration_ms)) {
    return false;
  }
  if (auto it = entry.find("authenticated"); it != entry.end()) {
    if (!it->is_boolean())
      return reader.Fail("\"authenticated\" is not true or false");
    event->authenticated = it->get<bool>();
  }
  return true;
}

Scenario DefaultScenario() {
  Scenario scenario;
  ScenarioEntry entry;
  entry.turn.heard = "hello";
  entry.turn.reply = "Hello, I am the development host.";
  scenario.entries.push_back(entry);
  return scenario;
}

int OptionalMs(const Json& section, const char* key, int default_value) {
  auto it = section.find(key);
  if (it == section.end())
    return default_value;
  if (!it->is_number() || it->get<double>() < 1 || it->get<double>() > kMaxMs) {
    LOG(WARNING) << "vantor_host." << key << " is not a time from 1 to "
                 << kMaxMs << " ms; using " << default_value;
    return default_value;
  }
  return static_cast<int>(it->get<double>());
}

}  // namespace

bool Scenario::HasTurns() const {
  for (const ScenarioEntry& entry : entries) {
    if (entry.is_turn)
      return true;
  }
  return false;
}

Scenario ParseScenario(const std::string& section_json) {
  Json section = Json::parse(section_json, nullptr, /*allow_exceptions=*/false);
  if (!section.is_object())
    return DefaultScenario();
  auto list = section.find(kScenarioKey);
  Scenario scenario;
  if (list == section.end()) {
    scenario = DefaultScenario();
  } else if (!list->is_array()) {
    LOG(WARNING) << "vantor_host.scenario is not a list; playing the default";
    scenario = DefaultScenario();
  } else {
    for (size_t i = 0; i < list->size(); ++i) {
      const Json& item = (*list)[i];
      ScenarioEntry entry;
      std::string why = "it is not an object";
      bool ok = false;
      if (item.is_object()) {
        entry.is_turn = !item.contains("event");
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
  scenario.step_ms = OptionalMs(section, "recognition_step_ms", 50);
  scenario.word_ms = OptionalMs(section, "reply_word_ms", 120);
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
