// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Collectors for the host's tests: what listeners heard, in order, with a
// bounded wait; what was logged is testing/log_capture.h's.
#ifndef TESTING_HOST_TEST_UTIL_H_
#define TESTING_HOST_TEST_UTIL_H_

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/logging.h"
#include "gtest/gtest.h"
#include "prebuilt/lib/assistant_client.h"
#include "testing/event_log.h"
#include "testing/log_capture.h"

namespace vantor_host {
namespace testing_util {

using testing_support::EventLog;

using LogCapture = testing_support::LogCapture;

using assistant_client::ConversationStateListener;

// Every listener call as one entry: "TurnStarted(1)", "Partial(what time)".
class RecordingListeners : public assistant_client::DeviceStateListener,
                           public ConversationStateListener {
 public:
  explicit RecordingListeners(EventLog* log) : log_(log) {}

  void OnStartFinished() override { log_->Add("StartFinished"); }
  void OnAuthenticationReceived(bool value) override {
    log_->Add(std::string("Authentication(") + (value ? "1" : "0") + ")");
  }
  void OnAlarmSoundingStarted() override { log_->Add("AlarmStarted"); }
  void OnAlarmSoundingFinished() override { log_->Add("AlarmFinished"); }
  void OnTimerSoundingStarted() override { log_->Add("TimerStarted"); }
  void OnTimerSoundingFinished() override { log_->Add("TimerFinished"); }
  void OnNotificationTrigger() override { log_->Add("NotificationTrigger"); }
  void OnNotificationClear() override { log_->Add("NotificationClear"); }
  void OnHoldStarted() override { log_->Add("HoldStarted"); }
  void OnHoldFinished() override { log_->Add("HoldFinished"); }
  void OnMicMutedChange(bool muted) override {
    log_->Add(std::string("MicMuted(") + (muted ? "1" : "0") + ")");
  }
  void OnStopTopInteraction() override { log_->Add("StopTop"); }

  void OnConversationTurnStarted(bool value) override {
    log_->Add(std::string("TurnStarted(") + (value ? "1" : "0") + ")");
  }
  void OnConversationTurnFinished(Resolution resolution) override {
    log_->Add("TurnFinished(" + std::to_string(resolution) + ")");
  }
  void OnRecognitionStateChanged(RecognitionState state,
                                 const RecognitionResult& result) override {
    static const char* const kNames[] = {"Started", "Partial", "Final"};
    log_->Add(std::string(kNames[state]) + "(" + result.text_1 + ")");
  }
  void OnRespondingStarted(bool value) override {
    log_->Add(std::string("RespondingStarted(") + (value ? "1" : "0") + ")");
  }
  void OnRespondingFinished() override { log_->Add("RespondingFinished"); }

 private:
  EventLog* const log_;
};

class RecordingHandler : public assistant_client::DeviceActionHandler {
 public:
  RecordingHandler(EventLog* log, std::string context)
      : log_(log), context_(std::move(context)) {}
  ~RecordingHandler() override { log_->Add("HandlerDeleted"); }
  std::string GetContext() const override {
    log_->Add("GetContext");
    return context_;
  }
  void Execute(const std::string& action) override {
    log_->Add("Execute(" + action + ")");
  }

 private:
  EventLog* const log_;
  const std::string context_;
};

// ---- Recording audio: each call an entry of the log. ------------------------
// (The fakes implement many interfaces; their names are the SDK's.)
using namespace assistant_client;  // NOLINT

// An input that says when it is opened and closed; RemoveObserver sends the
// observer its OnStopped.
class RecordingInput : public AudioInput, public AudioInputProvider {
 public:
  explicit RecordingInput(EventLog* log) : log_(log) {}
  BufferFormat GetFormat() const override { return BufferFormat(); }
  void AddObserver(Observer* observer) override {
    observer_ = observer;
    log_->Add("InputOpened");
  }
  void RemoveObserver(Observer* observer) override {
    EXPECT_EQ(observer_, observer);
    observer_ = nullptr;
    log_->Add("InputClosed");
    observer->OnStopped();
  }
  AudioInput* GetAudioInput() override { return this; }
  int64_t GetCurrentAudioTime() override { return 0; }

 private:
  EventLog* const log_;
  Observer* observer_ = nullptr;
};

// Pulls the delegate dry on its own thread, 320 bytes at a time, unless
// told to stall; Stop joins and sends OnStopped.
class RecordingOutput : public AudioOutput {
 public:
  RecordingOutput(EventLog* log, bool stall) : log_(log), stall_(stall) {}
  ~RecordingOutput() override { Stop(); }
  OutputStreamType GetType() override { return OutputStreamType::kTts; }
  void Start(Delegate* delegate) override {
    delegate_ = delegate;
    thread_ = std::thread([this] {
      char buffer[320];
      while (!stop_ && !stall_) {
        std::atomic<int> filled{-1};
        delegate_->FillBuffer(buffer, sizeof(buffer), 0,
                              [&filled](int n) { filled = n; });
        if (filled <= 0) {
          delegate_->OnEndOfStream();
          return;
        }
        bytes_ += filled;
      }
    });
  }
  void Stop() override {
    if (!delegate_)
      return;
    stop_ = true;
    thread_.join();
    log_->Add("OutputStopped(" + std::to_string(bytes_) + ")");
    std::exchange(delegate_, nullptr)->OnStopped();
  }

 private:
  EventLog* const log_;
  const bool stall_;
  Delegate* delegate_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  int bytes_ = 0;  // Output thread, then read after the join.
};

class RecordingVolume : public VolumeControl {
 public:
  explicit RecordingVolume(EventLog* log) : log_(log) {}
  void SetAudioFocus(OutputStreamType type) override {
    log_->Add("Focus(" + std::to_string(static_cast<int>(type)) + ")");
  }
  float GetSystemVolume() override { return 0; }
  void SetSystemVolume(float volume, bool) override {
    log_->Add("Volume(" + std::to_string(static_cast<int>(volume * 100)) + ")");
  }
  float GetAlarmVolume() override { return 0; }
  void SetAlarmVolume(float, bool) override {}
  bool IsSystemMuted() override { return false; }
  void SetSystemMuted(bool) override {}

 private:
  EventLog* const log_;
};

class RecordingOutputProvider : public AudioOutputProvider {
 public:
  explicit RecordingOutputProvider(EventLog* log) : log_(log), volume_(log) {}
  AudioOutput* CreateAudioOutput(OutputStreamType type,
                                 const OutputStreamFormat& format) override {
    EXPECT_EQ(OutputStreamEncoding::kPcm, format.encoding);
    log_->Add("OutputCreated(" + std::to_string(static_cast<int>(type)) + ")");
    return new RecordingOutput(log_, stall_);
  }
  std::vector<OutputStreamEncoding> GetSupportedStreamEncodings() override {
    return {OutputStreamEncoding::kPcm};
  }
  AudioInput* GetReferenceInput() override { return nullptr; }
  bool SupportsPlaybackTimestamp() const override { return false; }
  VolumeControl* GetVolumeControl() override { return &volume_; }

  std::atomic<bool> stall_{false};  // New outputs never fill.

 private:
  EventLog* const log_;
  RecordingVolume volume_;
};

}  // namespace testing_util
}  // namespace vantor_host

#endif  // TESTING_HOST_TEST_UTIL_H_
