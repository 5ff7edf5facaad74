// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// All public headers together, and the behaviour they define themselves: the
// default bodies that implementers rely on when they override only part of an
// interface.

#include "prebuilt/lib/assistant_client.h"
#include "testing/inert_providers.h"

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "gtest/gtest.h"
#include "prebuilt/lib/c_api.h"

namespace assistant_client {
namespace {

// ---- Compile-time shape of the interfaces -----------------------------------

template <typename T>
constexpr bool kIsInterface =
    std::is_polymorphic_v<T>&& std::has_virtual_destructor_v<T> &&
    !std::is_copy_constructible_v<T> && !std::is_copy_assignable_v<T>;

// Interfaces whose every operation must be implemented.
template <typename... T>
constexpr bool kAllAbstract = ((kIsInterface<T> && std::is_abstract_v<T>)&&...);
static_assert(kAllAbstract<AssistantManager,
                           AudioBuffer,
                           AudioInput,
                           AudioInput::Observer,
                           AudioInputProvider,
                           AudioOutput,
                           AudioOutput::Delegate,
                           AudioOutputProvider,
                           AuthProvider,
                           DebugHttpContext,
                           DebugInterface,
                           DeviceActionHandler,
                           FileProvider,
                           MdnsResponder,
                           MediaManager,
                           NetworkProvider,
                           PlatformApi,
                           PowerManagerProvider,
                           SystemProvider,
                           VolumeControl,
                           internal_api::VantorEntrypoint>);

// Interfaces with a default for every operation, usable as they are.
template <typename... T>
constexpr bool kAllConcrete = ((kIsInterface<T> && !std::is_abstract_v<T> &&
                                std::is_default_constructible_v<T>)&&...);
static_assert(kAllConcrete<PlatformFactory,
                           DeviceStateListener,
                           ConversationStateListener,
                           MediaManager::Listener>);

// The callback's three words are what crosses the C boundary.
static_assert(sizeof(Callback<false, bool>) == 3 * sizeof(void*));
static_assert(sizeof(MdnsResponder::ResultCallback) == 3 * sizeof(void*));
static_assert(!std::is_copy_constructible_v<Callback<true>>);

// Enumerations cross as int; a list of methods crosses as an int array.
template <typename... E>
constexpr bool kAllInt = (std::is_same_v<std::underlying_type_t<E>, int> &&
                          ...);
static_assert(kAllInt<AudioInput::Error,
                      AudioOutput::Error,
                      AuthProvider::Error,
                      ChannelLayout,
                      ConversationStateListener::RecognitionState,
                      ConversationStateListener::Resolution,
                      DebugHttpContext::Method,
                      MdnsResponder::Result,
                      NetworkProvider::ConnectionStatus,
                      OutputStreamEncoding,
                      OutputStreamType,
                      PlaybackState,
                      SampleFormat,
                      SystemProvider::TpmProcessingType,
                      TrackType>);
static_assert(sizeof(DebugHttpContext::Method) == sizeof(int));

// The numbers the network plug-in and the host library agree on.
static_assert(NetworkProvider::UNKNOWN == 0 && NetworkProvider::CONNECTED == 6);
static_assert(MdnsResponder::FATAL_ERROR == 0 &&
              MdnsResponder::NON_FATAL_ERROR == 1 &&
              MdnsResponder::SUCCESS == 2);

// The output format is copied word for word into its C record.
static_assert(std::is_standard_layout_v<OutputStreamFormat> &&
              sizeof(OutputStreamFormat) == sizeof(C_API_OutputStreamFormat));
static_assert(sizeof(BufferFormat) == sizeof(C_API_BufferFormat));

// ---- Default bodies ---------------------------------------------------------

// Records whether the callable ran and whether its state was released.
struct CallableProbe {
  int runs = 0;
  std::weak_ptr<int> state;

  Callback<true, bool> MakeCallback() {
    auto token = std::make_shared<int>(0);
    state = token;
    return Callback<true, bool>([this, token](bool) { ++runs; });
  }
};

TEST(PlatformFactoryTest, BaseOffersNoProviderOfAnyKind) {
  PlatformFactory factory;
  const std::string config = R"({"platform_config": {}})";
  EXPECT_EQ(factory.NewAuthProvider(config, nullptr), nullptr);
  EXPECT_EQ(factory.NewAudioInputProvider(config, nullptr), nullptr);
  EXPECT_EQ(factory.NewAudioOutputProvider(config, nullptr), nullptr);
  EXPECT_EQ(factory.NewFileProvider(config, nullptr), nullptr);
  EXPECT_EQ(factory.NewNetworkProvider(config, nullptr), nullptr);
  EXPECT_EQ(factory.NewSystemProvider(config, nullptr), nullptr);
}

class FileOnlyFactory : public PlatformFactory {
 public:
  FileProvider* NewFileProvider(const std::string&, PlatformApi*) override {
    return new testing_support::InertFileProvider();
  }
};

TEST(PlatformFactoryTest, OverridingOneKindLeavesTheOthersNull) {
  FileOnlyFactory derived;
  PlatformFactory* factory = &derived;
  std::unique_ptr<FileProvider> files(factory->NewFileProvider("", nullptr));
  ASSERT_NE(files, nullptr);
  EXPECT_EQ(files->ReadFile("any"), "file:any");
  EXPECT_EQ(factory->NewNetworkProvider("", nullptr), nullptr);
  EXPECT_EQ(factory->NewSystemProvider("", nullptr), nullptr);
  EXPECT_EQ(factory->NewAuthProvider("", nullptr), nullptr);
}

TEST(SystemProviderTest, DefaultsReportNoPowerManagerAndNoBattery) {
  // Implements only what SystemProvider requires.
  testing_support::InertSystemProvider derived;
  SystemProvider* provider = &derived;
  EXPECT_EQ(provider->GetPowerManagerProvider(), nullptr);

  SystemProvider::BatteryState state;
  state.is_charging = true;
  state.charge_percent = 42;
  EXPECT_FALSE(provider->GetBatteryState(&state));
  EXPECT_TRUE(state.is_charging);
  EXPECT_EQ(state.charge_percent, 42);
}

TEST(AudioOutputProviderTest, DefaultReleasesEmittingCallbackUnrun) {
  testing_support::InertAudioOutputProvider derived;
  AudioOutputProvider* provider = &derived;
  CallableProbe probe;
  provider->RegisterAudioEmittingStateCallback(probe.MakeCallback());
  EXPECT_EQ(probe.runs, 0);
  EXPECT_TRUE(probe.state.expired());
}

TEST(AudioOutputProviderTest, ProbeSeesRunsAndRelease) {
  // The probe itself must be able to tell a kept or run callback apart.
  CallableProbe probe;
  {
    Callback<true, bool> kept = probe.MakeCallback();
    kept(true);
    kept(false);
    EXPECT_EQ(probe.runs, 2);
    EXPECT_FALSE(probe.state.expired());
  }
  EXPECT_TRUE(probe.state.expired());
}

// Overrides one event of each listener; every other event must do nothing.
class MuteOnlyListener : public DeviceStateListener {
 public:
  void OnMicMutedChange(bool muted) override { changes.push_back(muted); }
  std::vector<bool> changes;
};

TEST(ListenerDefaultsTest, DeviceStateEventsReachOnlyTheOverride) {
  MuteOnlyListener derived;
  DeviceStateListener* listener = &derived;
  listener->OnStartFinished();
  listener->OnAuthenticationReceived(true);
  listener->OnAlarmSoundingStarted();
  listener->OnAlarmSoundingFinished();
  listener->OnTimerSoundingStarted();
  listener->OnTimerSoundingFinished();
  listener->OnNotificationTrigger();
  listener->OnNotificationClear();
  listener->OnHoldStarted();
  listener->OnHoldFinished();
  listener->OnMicMutedChange(true);
  listener->OnStopTopInteraction();
  listener->OnMicMutedChange(false);
  EXPECT_EQ(derived.changes, (std::vector<bool>{true, false}));
}

class RecognitionOnlyListener : public ConversationStateListener {
 public:
  void OnRecognitionStateChanged(RecognitionState state,
                                 const RecognitionResult& result) override {
    states.push_back(state);
    texts.push_back(result.text_1 + "|" + result.text_2 + "|" + result.text_3);
  }
  std::vector<RecognitionState> states;
  std::vector<std::string> texts;
};

TEST(ListenerDefaultsTest, ConversationEventsReachOnlyTheOverride) {
  RecognitionOnlyListener derived;
  ConversationStateListener* listener = &derived;
  listener->OnConversationTurnStarted(true);
  ConversationStateListener::RecognitionResult result;
  result.text_2 = "lights";
  listener->OnRecognitionStateChanged(ConversationStateListener::kPartial,
                                      result);
  listener->OnRespondingStarted(false);
  listener->OnRespondingFinished();
  listener->OnConversationTurnFinished(ConversationStateListener::kCompleted);
  ASSERT_EQ(derived.states.size(), 1u);
  EXPECT_EQ(derived.states[0], ConversationStateListener::kPartial);
  EXPECT_EQ(derived.texts[0], "|lights|");
}

}  // namespace
}  // namespace assistant_client
