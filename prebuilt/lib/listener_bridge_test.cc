// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The device action handler and the two listener kinds across the ABI: every
// event with its values, and who deletes what.
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/bridge_test_util.h"

namespace assistant_client {
namespace {

using namespace internal_api;
using namespace testing_util;
using namespace std::string_literals;

class RecordingDeviceListener : public DeviceStateListener,
                                private DeletionCounted {
 public:
  explicit RecordingDeviceListener(Deletions* d = nullptr)
      : DeletionCounted(d) {}
  void OnStartFinished() override { events.push_back("start"); }
  void OnAuthenticationReceived(bool value) override {
    events.push_back("auth " + std::to_string(value));
  }
  void OnAlarmSoundingStarted() override { events.push_back("alarm on"); }
  void OnAlarmSoundingFinished() override { events.push_back("alarm off"); }
  void OnTimerSoundingStarted() override { events.push_back("timer on"); }
  void OnTimerSoundingFinished() override { events.push_back("timer off"); }
  void OnNotificationTrigger() override { events.push_back("notify"); }
  void OnNotificationClear() override { events.push_back("clear"); }
  void OnHoldStarted() override { events.push_back("hold on"); }
  void OnHoldFinished() override { events.push_back("hold off"); }
  void OnMicMutedChange(bool value) override {
    events.push_back("mic " + std::to_string(value));
  }
  void OnStopTopInteraction() override { events.push_back("stop top"); }

  std::vector<std::string> events;
};

TEST(DeviceStateListenerBridgeTest, EveryEventCrossesAndTheListenerStays) {
  Deletions deletions;
  RecordingDeviceListener listener(&deletions);
  DeviceStateListener* wrapper =
      DeviceStateListenerFromC(DeviceStateListenerToC(&listener, 0));
  wrapper->OnStartFinished();
  wrapper->OnAuthenticationReceived(true);
  wrapper->OnAlarmSoundingStarted();
  wrapper->OnAlarmSoundingFinished();
  wrapper->OnTimerSoundingStarted();
  wrapper->OnTimerSoundingFinished();
  wrapper->OnNotificationTrigger();
  wrapper->OnNotificationClear();
  wrapper->OnHoldStarted();
  wrapper->OnHoldFinished();
  wrapper->OnMicMutedChange(false);
  wrapper->OnStopTopInteraction();
  EXPECT_EQ(listener.events, (std::vector<std::string>{
                                 "start", "auth 1", "alarm on", "alarm off",
                                 "timer on", "timer off", "notify", "clear",
                                 "hold on", "hold off", "mic 0", "stop top"}));
  DestroyDeviceStateListenerInC(wrapper);
  EXPECT_EQ(deletions.count, 0);
}

TEST(DeviceStateListenerBridgeTest, AnyNonZeroWordIsTrue) {
  RecordingDeviceListener listener;
  C_API_DeviceStateListener* c = DeviceStateListenerToC(&listener, 0);
  c->OnAuthenticationReceived(c, 2);
  c->OnMicMutedChange(c, 0x80000000u);
  c->OnMicMutedChange(c, 0);
  EXPECT_EQ(listener.events,
            (std::vector<std::string>{"auth 1", "mic 1", "mic 0"}));
  c->Destroy(c);
}

TEST(DeviceStateListenerBridgeTest, ListenerWithDefaultsTakesEveryEvent) {
  DeviceStateListener listener;
  C_API_DeviceStateListener* c = DeviceStateListenerToC(&listener, 0);
  c->OnStartFinished(c);
  c->OnAuthenticationReceived(c, 1);
  c->OnAlarmSoundingStarted(c);
  c->OnAlarmSoundingFinished(c);
  c->OnTimerSoundingStarted(c);
  c->OnTimerSoundingFinished(c);
  c->OnNotificationTrigger(c);
  c->OnNotificationClear(c);
  c->OnHoldStarted(c);
  c->OnHoldFinished(c);
  c->OnMicMutedChange(c, 1);
  c->OnStopTopInteraction(c);
  c->Destroy(c);
}

class RecordingConversationListener : public ConversationStateListener {
 public:
  void OnConversationTurnStarted(bool value) override {
    events.push_back("turn " + std::to_string(value));
  }
  void OnConversationTurnFinished(Resolution resolution) override {
    events.push_back("finished " + std::to_string(resolution));
  }
  void OnRecognitionStateChanged(RecognitionState state,
                                 const RecognitionResult& result) override {
    events.push_back("recognition " + std::to_string(state));
    results.push_back(result);
  }
  void OnRespondingStarted(bool value) override {
    events.push_back("responding " + std::to_string(value));
  }
  void OnRespondingFinished() override { events.push_back("responded"); }

  std::vector<std::string> events;
  std::vector<RecognitionResult> results;
};

TEST(ConversationListenerBridgeTest, EveryEventCrossesWithItsValues) {
  RecordingConversationListener listener;
  std::unique_ptr<ConversationStateListener> wrapper(
      ConversationStateListenerFromC(
          ConversationStateListenerToC(&listener, 0)));
  wrapper->OnConversationTurnStarted(true);
  ConversationStateListener::RecognitionResult texts;
  texts.text_1 = "he\0llo"s;
  texts.text_3 = "\0"s;
  wrapper->OnRecognitionStateChanged(ConversationStateListener::kPartial,
                                     texts);
  wrapper->OnRecognitionStateChanged(ConversationStateListener::kFinal, {});
  wrapper->OnRespondingStarted(false);
  wrapper->OnRespondingFinished();
  wrapper->OnConversationTurnFinished(
      ConversationStateListener::kFollowUpExpected);
  EXPECT_EQ(listener.events, (std::vector<std::string>{
                                 "turn 1", "recognition 1", "recognition 2",
                                 "responding 0", "responded", "finished 1"}));
  ASSERT_EQ(listener.results.size(), 2u);
  EXPECT_EQ(listener.results[0].text_1, "he\0llo"s);
  EXPECT_EQ(listener.results[0].text_2, "");
  EXPECT_EQ(listener.results[0].text_3, "\0"s);
  EXPECT_EQ(listener.results[1].text_1, "");
  EXPECT_EQ(listener.results[1].text_2, "");
  EXPECT_EQ(listener.results[1].text_3, "");
}

TEST(ConversationListenerBridgeTest, StructureSideReadsWordsAndTextsInOrder) {
  RecordingConversationListener listener;
  C_API_ConversationStateListener* c =
      ConversationStateListenerToC(&listener, 0);
  c->OnConversationTurnStarted(c, 2);
  c->OnRecognitionStateChanged(c, 0, StringToC("a"), StringToC("b\0"s),
                               StringToC("c"));
  ASSERT_EQ(listener.results.size(), 1u);
  EXPECT_EQ(listener.results[0].text_1, "a");
  EXPECT_EQ(listener.results[0].text_2, "b\0"s);
  EXPECT_EQ(listener.results[0].text_3, "c");
  DestroyConversationStateListenerInC(ConversationStateListenerFromC(c));
  EXPECT_EQ(listener.events,
            (std::vector<std::string>{"turn 1", "recognition 0"}));
}

class RecordingHandler : public DeviceActionHandler, private DeletionCounted {
 public:
  RecordingHandler(Deletions* d, std::vector<std::string>* actions)
      : DeletionCounted(d), actions_(actions) {}
  std::string GetContext() const override { return context; }
  void Execute(const std::string& action) override {
    actions_->push_back(action);
  }

  std::string context;

 private:
  std::vector<std::string>* actions_;
};

TEST(DeviceActionHandlerBridgeTest, ContextAndActionsCrossHandlerDiesOnce) {
  Deletions deletions;
  std::vector<std::string> actions;
  auto* handler = new RecordingHandler(&deletions, &actions);
  std::unique_ptr<DeviceActionHandler> wrapper(
      DeviceActionHandlerFromC(DeviceActionHandlerToC(handler, 0)));
  EXPECT_EQ(wrapper->GetContext(), "");
  handler->context = "{\"v\":\0}"s;
  EXPECT_EQ(wrapper->GetContext(), "{\"v\":\0}"s);
  wrapper->Execute("act\0ion"s);
  wrapper->Execute("");
  EXPECT_EQ(actions, (std::vector<std::string>{"act\0ion"s, ""}));
  EXPECT_EQ(deletions.count, 0);
  wrapper.reset();
  EXPECT_EQ(deletions.count, 1);
}

}  // namespace
}  // namespace assistant_client
