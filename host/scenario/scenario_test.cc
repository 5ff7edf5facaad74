// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The scenario format, and the conversation that plays it to listeners,
// with recording audio providers and the real scheduler.
#include "host/scenario/scenario.h"

#include <atomic>
#include <thread>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "host/scenario/conversation.h"
#include "platform/utils/config_inspector.h"
#include "testing/host_test_util.h"

namespace vantor_host {
namespace {

using namespace assistant_client;  // NOLINT: fakes full of overrides.
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using testing_util::EventLog;
using testing_util::LogCapture;
using testing_util::RecordingInput;
using testing_util::RecordingOutputProvider;
using Listener = ConversationStateListener;

// The scenario of |section|, the vantor_host section's JSON text.
Scenario Parse(const std::string& section) {
  std::string error;
  auto accessor = assistant_reference::ConfigInspector::TryParse(
      "{\"vantor_host\": " + section + "}", "vantor_host", &error);
  EXPECT_TRUE(accessor) << error;
  return ParseScenario(accessor.get());
}

// ---- The format -------------------------------------------------------------

TEST(ScenarioFormatTest, EveryFieldOfTurnsAndEvents) {
  const Scenario scenario = Parse(R"({
    "recognition_step_ms": 7, "reply_word_ms": 9,
    "scenario": [
      {"heard": "turn it up", "reply": "Done.", "action": "up",
       "resolution": "follow_up", "volume": 0.25, "media": "next"},
      {"heard": "", "resolution": "no_response"},
      {"event": "timer", "after_ms": 100, "duration_ms": 2500},
      {"event": "authentication", "authenticated": false}
    ]})");
  EXPECT_EQ(7, scenario.step_ms);
  EXPECT_EQ(9, scenario.word_ms);
  ASSERT_EQ(4u, scenario.entries.size());
  const ScenarioTurn& turn = scenario.entries[0].turn;
  EXPECT_TRUE(scenario.entries[0].is_turn);
  EXPECT_EQ("turn it up", turn.heard);
  EXPECT_EQ("Done.", turn.reply);
  EXPECT_EQ("up", turn.action);
  EXPECT_EQ(Listener::kFollowUpExpected, turn.resolution);
  EXPECT_FLOAT_EQ(0.25f, turn.volume);
  EXPECT_EQ("next", turn.media);
  EXPECT_EQ(Listener::kNoResponse, scenario.entries[1].turn.resolution);
  EXPECT_LT(scenario.entries[1].turn.volume, 0);  // None.
  const ScenarioEvent& timer = scenario.entries[2].event;
  EXPECT_FALSE(scenario.entries[2].is_turn);
  EXPECT_EQ(ScenarioEvent::Kind::kTimer, timer.kind);
  EXPECT_EQ(100, timer.after_ms);
  EXPECT_EQ(2500, timer.duration_ms);
  EXPECT_EQ(ScenarioEvent::Kind::kAuthentication,
            scenario.entries[3].event.kind);
  EXPECT_FALSE(scenario.entries[3].event.authenticated);
  EXPECT_TRUE(scenario.HasTurns());
}

TEST(ScenarioFormatTest, WithoutAListTheDefaultTurnPlays) {
  LogCapture log;
  for (const char* section : {"", "null", "{}", R"({"scenario": 3})"}) {
    const Scenario scenario =
        *section ? Parse(section) : ParseScenario(nullptr);
    ASSERT_EQ(1u, scenario.entries.size()) << section;
    EXPECT_EQ("hello", scenario.entries[0].turn.heard);
    EXPECT_EQ(Listener::kCompleted, scenario.entries[0].turn.resolution);
    EXPECT_EQ(50, scenario.step_ms);
  }
  EXPECT_EQ(1, log.Count("vantor_host.scenario is not a list"));
  // An empty list is a scenario without turns, not the default.
  EXPECT_FALSE(Parse(R"({"scenario": []})").HasTurns());
}

TEST(ScenarioFormatTest, EntriesThatMakeNoSenseAreLeftOutByIndex) {
  LogCapture log;
  const Scenario scenario = Parse(R"({"scenario": [
      {"heard": "kept first"},
      {"heard": "a", "resolution": "maybe"},
      {"heard": "b", "media": "rewind"},
      {"heard": "c", "volume": 1.5},
      {"heard": 4},
      {"event": "party"},
      {"event": "alarm", "after_ms": -1},
      {"event": "hold", "authenticated": "yes"},
      "not an object",
      {"heard": "kept last"}
    ], "recognition_step_ms": 0, "reply_word_ms": "fast"})");
  ASSERT_EQ(2u, scenario.entries.size());
  EXPECT_EQ("kept first", scenario.entries[0].turn.heard);
  EXPECT_EQ("kept last", scenario.entries[1].turn.heard);
  for (int index = 1; index <= 8; ++index) {
    EXPECT_EQ(1, log.Count("vantor_host.scenario[" + std::to_string(index) +
                           "] is left out"))
        << index << "\n"
        << log.All();
  }
  EXPECT_EQ(1, log.Count("resolution \"maybe\" is unknown"));
  EXPECT_EQ(1, log.Count("\"after_ms\" is not a time"));
  // Times that are no times keep their defaults, with a word each.
  EXPECT_EQ(50, scenario.step_ms);
  EXPECT_EQ(120, scenario.word_ms);
  EXPECT_EQ(1, log.Count("vantor_host.recognition_step_ms is not a time"));
  EXPECT_EQ(1, log.Count("vantor_host.reply_word_ms is not a time"));
}

ScenarioEntry Turn(const std::string& heard,
                   const std::string& reply,
                   Listener::Resolution resolution = Listener::kCompleted) {
  ScenarioEntry entry;
  entry.turn.heard = heard;
  entry.turn.reply = reply;
  entry.turn.resolution = resolution;
  return entry;
}

ScenarioEntry Event(ScenarioEvent::Kind kind, int after_ms, int duration_ms) {
  ScenarioEntry entry;
  entry.is_turn = false;
  entry.event.kind = kind;
  entry.event.after_ms = after_ms;
  entry.event.duration_ms = duration_ms;
  return entry;
}

// ---- The conversation -------------------------------------------------------

class ConversationTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (conversation_)
      conversation_->Finish();
    scheduler_.Stop();
    conversation_.reset();
  }

  // Starts playing |entries|; recognition steps of |step_ms|, reply words
  // of 20 ms (320 frames: 640 bytes).
  void Play(std::vector<ScenarioEntry> entries, int step_ms = 5) {
    Scenario scenario;
    scenario.entries = std::move(entries);
    scenario.step_ms = step_ms;
    scenario.word_ms = 20;
    conversation_ = std::make_unique<Conversation>(scenario, &scheduler_,
                                                   &listeners_, &media_);
    listeners_.Add(static_cast<DeviceStateListener*>(&recording_));
    listeners_.Add(static_cast<ConversationStateListener*>(&recording_));
    conversation_->SetPlatform(&input_, &output_,
                               [this] { return muted_.load(); });
    conversation_->Started(
        Callback<false>([this] { log_.Add("StartCallback"); }));
    ASSERT_TRUE(log_.WaitFor("StartCallback"));
  }

  // The entries from the |n|th (from 1) TurnStarted to the TurnFinished
  // after it.
  std::vector<std::string> TurnEntries(int n) {
    std::vector<std::string> turn;
    int seen = 0;
    for (const std::string& entry : log_.entries()) {
      if (entry.rfind("TurnStarted", 0) == 0)
        ++seen;
      if (seen == n)
        turn.push_back(entry);
      if (seen == n && entry.rfind("TurnFinished", 0) == 0)
        break;
    }
    return turn;
  }

  EventLog log_;
  testing_util::RecordingListeners recording_{&log_};
  Scheduler scheduler_{"VantorHost"};
  ClientListeners listeners_;
  HostMediaManager media_{&scheduler_, HostMediaManager::DefaultTracks()};
  RecordingInput input_{&log_};
  RecordingOutputProvider output_{&log_};
  std::atomic<bool> muted_{false};
  std::unique_ptr<Conversation> conversation_;
};

TEST_F(ConversationTest, ATurnPlaysEveryStepInOrder) {
  ScenarioEntry entry = Turn("what time", "it is");
  entry.turn.action = "{\"do\": 1}";
  entry.turn.volume = 0.7f;
  listeners_.Add(std::make_unique<testing_util::RecordingHandler>(&log_, "c1"));
  listeners_.Add(std::make_unique<testing_util::RecordingHandler>(&log_, "c2"));
  Play({entry});
  EXPECT_THAT(log_.entries(), ElementsAre("StartFinished", "StartCallback"));

  EXPECT_EQ(1, conversation_->RequestTurn());
  ASSERT_TRUE(log_.WaitFor("TurnFinished(0)"));
  EXPECT_THAT(
      TurnEntries(1),
      ElementsAre("TurnStarted(1)", "InputOpened", "Started()", "Partial(what)",
                  "Partial(what time)", "Final(what time)", "InputClosed",
                  // Each handler: the context first, then the action.
                  "GetContext", "Execute({\"do\": 1})", "GetContext",
                  "Execute({\"do\": 1})", "Volume(70)", "RespondingStarted(1)",
                  "Focus(0)", "OutputCreated(0)", "OutputStopped(1280)",
                  "RespondingFinished", "TurnFinished(0)"));
}

TEST_F(ConversationTest, TurnsAskedForMeanwhileWaitTheirTurnAndWrapAround) {
  Play({Turn("a", ""), Turn("b", "")});
  EXPECT_EQ(1, conversation_->RequestTurn());
  EXPECT_EQ(2, conversation_->RequestTurn());
  EXPECT_EQ(3, conversation_->RequestTurn());
  // Finish plays out what was asked for.
  conversation_->Finish();
  EXPECT_EQ(3, log_.Count("TurnFinished(0)"));
  EXPECT_EQ("Final(a)", TurnEntries(1)[4]);
  EXPECT_EQ("Final(b)", TurnEntries(2)[4]);
  EXPECT_EQ("Final(a)", TurnEntries(3)[4]);
  EXPECT_EQ(0, conversation_->RequestTurn());  // Shutting down.
}

TEST_F(ConversationTest, NoTurnStartsMutedOrNotListeningOrNotStarted) {
  LogCapture log;
  Scenario scenario;
  scenario.entries = {Turn("a", "")};
  Conversation unstarted(scenario, &scheduler_, &listeners_, &media_);
  EXPECT_EQ(0, unstarted.RequestTurn());
  EXPECT_EQ(1, log.Count("refused: the assistant is not started"));

  Play({Turn("a", "")});
  muted_ = true;
  EXPECT_EQ(0, conversation_->RequestTurn());
  EXPECT_EQ(1, log.Count("refused: the microphone is muted"));
  muted_ = false;
  conversation_->EnableListening(false);
  EXPECT_EQ(0, conversation_->RequestTurn());
  EXPECT_EQ(1, log.Count("refused: listening is disabled"));
  conversation_->EnableListening(true);
  EXPECT_EQ(1, conversation_->RequestTurn());
  conversation_->Finish();
  EXPECT_EQ(1, log_.Count("TurnStarted(1)"));
  EXPECT_EQ(1, conversation_->accepted());
}

TEST_F(ConversationTest, StopWhileListeningCancelsWithoutAResponse) {
  Play({Turn("one two three four five six seven eight", "never")}, 50);
  conversation_->RequestTurn();
  ASSERT_TRUE(log_.WaitFor("Started()"));
  conversation_->StopTurn();
  ASSERT_TRUE(log_.WaitFor("TurnFinished(3)"));
  const std::vector<std::string> turn = TurnEntries(1);
  EXPECT_EQ("InputClosed", turn[turn.size() - 2]);
  EXPECT_EQ(0, log_.Count("RespondingStarted(1)"));
  EXPECT_EQ(0, log_.Count("Final(one two three four five six seven eight)"));
}

TEST_F(ConversationTest, StopWhileReplyingEndsTheOutputThenCancels) {
  output_.stall_ = true;  // The reply would never end by itself.
  Play({Turn("a", "a long reply"), Turn("b", "another long reply")});
  conversation_->RequestTurn();
  ASSERT_TRUE(log_.WaitFor("OutputCreated(0)"));
  conversation_->StopTurn();
  ASSERT_TRUE(log_.WaitFor("TurnFinished(3)"));
  const std::vector<std::string> turn = TurnEntries(1);
  ASSERT_GE(turn.size(), 3u);
  EXPECT_THAT(
      std::vector<std::string>(turn.end() - 3, turn.end()),
      ElementsAre("OutputStopped(0)", "RespondingFinished", "TurnFinished(3)"));

  // StopAllTts cuts the reply short, but the turn keeps its resolution.
  conversation_->RequestTurn();
  ASSERT_TRUE(log_.WaitFor("OutputCreated(0)", 2));
  conversation_->StopReply();
  ASSERT_TRUE(log_.WaitFor("TurnFinished(0)"));
  EXPECT_EQ(2, log_.Count("RespondingFinished"));
}

TEST_F(ConversationTest, MutingWhileListeningTellsThenCancels) {
  Play({Turn("one two three four five six seven eight", "never")}, 50);
  conversation_->RequestTurn();
  ASSERT_TRUE(log_.WaitFor("Started()"));
  conversation_->MicMuted(true);
  ASSERT_TRUE(log_.WaitFor("TurnFinished(3)"));
  conversation_->MicMuted(false);
  ASSERT_TRUE(log_.WaitFor("MicMuted(0)"));
  EXPECT_EQ(1, log_.Count("MicMuted(1)"));
  const std::vector<std::string> turn = TurnEntries(1);
  EXPECT_NE(std::find(turn.begin(), turn.end(), "MicMuted(1)"), turn.end());
}

TEST_F(ConversationTest, AFollowUpTurnStartsByItself) {
  Play({Turn("first", "", Listener::kFollowUpExpected), Turn("second", "")});
  conversation_->RequestTurn();
  ASSERT_TRUE(log_.WaitFor("TurnFinished(0)"));
  EXPECT_EQ("TurnFinished(1)", TurnEntries(1).back());
  EXPECT_THAT(TurnEntries(2),
              ElementsAre("TurnStarted(0)", "InputOpened", "Started()",
                          "Partial(second)", "Final(second)", "InputClosed",
                          "RespondingStarted(0)", "RespondingFinished",
                          "TurnFinished(0)"));
  EXPECT_EQ(1, conversation_->accepted());
}

TEST_F(ConversationTest, EventsFollowTheirTurnAndStopTopEndsTheAlarm) {
  Play({Event(ScenarioEvent::Kind::kHold, 0, 10), Turn("a", ""),
        Event(ScenarioEvent::Kind::kAlarm, 10, 60000),
        Event(ScenarioEvent::Kind::kNotification, 0, 60000)});
  // The head of the list plays at the start.
  ASSERT_TRUE(log_.WaitFor("HoldFinished"));
  EXPECT_EQ(0, log_.Count("AlarmStarted"));
  conversation_->RequestTurn();
  ASSERT_TRUE(log_.WaitFor("AlarmStarted"));
  ASSERT_TRUE(log_.WaitFor("NotificationTrigger"));
  conversation_->StopTop();
  ASSERT_TRUE(log_.WaitFor("AlarmFinished"));
  std::vector<std::string> all = log_.entries();
  auto top = std::find(all.begin(), all.end(), "StopTop");
  ASSERT_NE(top, all.end());
  EXPECT_EQ("AlarmFinished", *(top + 1));
  // The notification was not on top; it ends with the conversation.
  EXPECT_EQ(0, log_.Count("NotificationClear"));
  conversation_->Finish();
  EXPECT_EQ(1, log_.Count("NotificationClear"));
}

TEST_F(ConversationTest, FinishEndsWhatSoundsAndDropsWhatIsScheduled) {
  Play({Event(ScenarioEvent::Kind::kTimer, 0, 60000),
        Event(ScenarioEvent::Kind::kAlarm, 60000, 10)});
  ASSERT_TRUE(log_.WaitFor("TimerStarted"));
  EXPECT_EQ(0, conversation_->RequestTurn());  // No turns to play.
  conversation_->Finish();
  EXPECT_EQ(1, log_.Count("TimerFinished"));
  EXPECT_EQ(0, log_.Count("AlarmStarted"));
}

TEST_F(ConversationTest, AStartedAssistantOnlyRunsTheNextCallback) {
  Play({Turn("a", "")});
  conversation_->Started(Callback<false>([this] { log_.Add("Again"); }));
  ASSERT_TRUE(log_.WaitFor("Again"));
  EXPECT_EQ(1, log_.Count("StartFinished"));
}

}  // namespace
}  // namespace vantor_host
