// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The host's assistant manager as a client reaches it: through the bridge's
// C structures, with the client's own platform (whose providers the host
// must use) and listeners.
#include "host/host_assistant_manager.h"

#include <memory>
#include <mutex>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/host_test_util.h"

namespace vantor_host {
namespace {

using namespace assistant_client;  // NOLINT: fakes full of overrides.
using namespace assistant_client::internal_api;  // NOLINT: the bridge.
using ::testing::ElementsAre;
using testing_util::EventLog;
using testing_util::LogCapture;
using testing_util::RecordingInput;
using testing_util::RecordingOutputProvider;

// A microphone switch the test flips; it tells the host of every report,
// also of one that changes nothing.
class Switch : public SystemProvider {
 public:
  int GetMicMuteState() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return muted_ ? 1 : 0;
  }
  void RegisterMicMuteChangeCallback(Callback<true> callback) override {
    std::lock_guard<std::mutex> lock(mutex_);
    callbacks_.push_back(std::move(callback));
  }
  void UpdateTimezoneAndLocale(const std::string&,
                               const std::string&) override {}
  void ProcessTpm(TpmProcessingType,
                  const std::string& data,
                  Callback<false, std::string> done) override {
    done(data);
  }
  void Report(bool muted) {
    std::vector<Callback<true>*> callbacks;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      muted_ = muted;
      for (auto& callback : callbacks_)
        callbacks.push_back(&callback);
    }
    for (Callback<true>* callback : callbacks)
      (*callback)();
  }
  ~Switch() override {
    // The bridge's copy of each callback structure goes with the provider.
    std::lock_guard<std::mutex> lock(mutex_);
    callbacks_.clear();
  }

 private:
  std::mutex mutex_;
  bool muted_ = false;
  std::vector<Callback<true>> callbacks_;
};

class Network : public NetworkProvider {
 public:
  ConnectionStatus GetConnectionStatus() override { return CONNECTED; }
  MdnsResponder* GetMdnsResponder() override { return nullptr; }
};

// The client's own audio, network and microphone; files and credentials as
// the host's built-in ones do them.
class ClientPlatform : public PlatformApi {
 public:
  explicit ClientPlatform(EventLog* log)
      : input_(log), output_(log), others_({}) {}
  AudioInputProvider* GetAudioInputProvider() override { return &input_; }
  AudioOutputProvider* GetAudioOutputProvider() override { return &output_; }
  AuthProvider* GetAuthProvider() override { return others_.GetAuthProvider(); }
  FileProvider* GetFileProvider() override { return others_.GetFileProvider(); }
  NetworkProvider* GetNetworkProvider() override { return &network_; }
  SystemProvider* GetSystemProvider() override { return &switch_; }

  RecordingInput input_;
  RecordingOutputProvider output_;
  BuiltinPlatform others_;
  Network network_;
  Switch switch_;
};

class HostAssistantManagerTest : public ::testing::Test {
 protected:
  // A manager of the host reached as a client reaches it, with the client's
  // platform and listeners crossing as C structures.
  void Create(const std::string& config) {
    C_API_PlatformApi* c_platform =
        PlatformApiToC(&platform_, internal_api::kApiVersion);
    C_API_AssistantManager* c_manager = AssistantManagerToC(
        new HostAssistantManager(config, PlatformApiFromC(c_platform)),
        internal_api::kApiVersion);
    manager_.reset(AssistantManagerFromC(c_manager));
    manager_->AddDeviceStateListener(&listeners_);
    manager_->AddConversationStateListener(&listeners_);
  }
  void TearDown() override { manager_.reset(); }

  LogCapture capture_;
  EventLog log_;
  testing_util::RecordingListeners listeners_{&log_};
  ClientPlatform platform_{&log_};
  std::unique_ptr<AssistantManager> manager_;
};

TEST_F(HostAssistantManagerTest, StartTellsTheListenersThenRunsTheCallback) {
  Create(R"({"vantor_host": {}})");
  manager_->Start(Callback<false>([this] { log_.Add("Done"); }));
  ASSERT_TRUE(log_.WaitFor("Done"));
  EXPECT_THAT(log_.entries(), ElementsAre("StartFinished", "Done"));
  EXPECT_EQ(1,
            capture_.Count("Using the client's platform for every provider"));
  EXPECT_EQ(0, capture_.Count("Loading plug-ins"));
}

TEST_F(HostAssistantManagerTest, TurnsUseTheClientsAudio) {
  Create(R"({"vantor_host": {"recognition_step_ms": 5, "reply_word_ms": 20,
             "scenario": [{"heard": "hi", "reply": "hello", "volume": 0.3}]}})");
  manager_->EnableListening(true);
  manager_->Start();
  manager_->StartAssistantInteraction();
  ASSERT_TRUE(log_.WaitFor("TurnFinished(0)"));
  EXPECT_THAT(log_.entries(),
              ElementsAre("StartFinished", "TurnStarted(1)", "InputOpened",
                          "Started()", "Partial(hi)", "Final(hi)",
                          "InputClosed", "Volume(30)", "RespondingStarted(1)",
                          "Focus(0)", "OutputCreated(0)", "OutputStopped(640)",
                          "RespondingFinished", "TurnFinished(0)"));
}

TEST_F(HostAssistantManagerTest, EachMicrophoneChangeReachesTheListenersOnce) {
  Create(R"({"vantor_host": {"recognition_step_ms": 5}})");
  manager_->Start();
  ASSERT_TRUE(log_.WaitFor("StartFinished"));
  platform_.switch_.Report(true);
  platform_.switch_.Report(true);  // No change.
  ASSERT_TRUE(log_.WaitFor("MicMuted(1)"));
  manager_->StartAssistantInteraction();
  EXPECT_EQ(
      1, capture_.Count("StartAssistantInteraction refused: the microphone is "
                        "muted"));
  platform_.switch_.Report(false);
  platform_.switch_.Report(false);
  ASSERT_TRUE(log_.WaitFor("MicMuted(0)"));
  manager_->StartAssistantInteraction();
  ASSERT_TRUE(log_.WaitFor("TurnFinished(0)"));
  manager_->StopTopInteraction();
  ASSERT_TRUE(log_.WaitFor("StopTop"));
  manager_.reset();
  EXPECT_EQ(1, log_.Count("MicMuted(1)"));
  EXPECT_EQ(1, log_.Count("MicMuted(0)"));
  EXPECT_EQ(1, log_.Count("TurnStarted(1)"));
  EXPECT_EQ(1, capture_.Count("Assistant manager deleted after 1 interaction"));
}

TEST_F(HostAssistantManagerTest, DeletingTheManagerPlaysOutWhatWasAskedFor) {
  Create(R"({"vantor_host": {"recognition_step_ms": 5,
             "scenario": [{"heard": "a"}, {"heard": "b"}]}})");
  manager_->Start();
  manager_->StartAssistantInteraction();
  manager_->StartAssistantInteraction();
  manager_.reset();
  EXPECT_EQ(2, log_.Count("TurnFinished(0)"));
  EXPECT_EQ(1, log_.Count("Final(a)"));
  EXPECT_EQ(1, log_.Count("Final(b)"));
}

}  // namespace
}  // namespace vantor_host
