// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The entry point and the assistant manager across the ABI: every operation
// with its arguments, the attachments and their caches, destruction orders,
// version propagation, and the client entry functions over a test host.
#include <string.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/bridge_test_util.h"
#include "testing/death_test_style.h"

namespace assistant_client {
namespace {

using namespace internal_api;
using namespace testing_util;
using Tokens = std::vector<std::pair<std::string, std::string>>;

// Records what the bridge delivers; owns what the bridge hands over.
class RecordingManager : public AssistantManager {
 public:
  explicit RecordingManager(EventLog* log, PlatformApi* platform = nullptr)
      : log_(log), platform(platform) {}
  ~RecordingManager() override { log_->Add("manager deleted"); }

  void Start() override { log_->Add("Start"); }
  void Start(Callback<false> done) override {
    log_->Add("Start(done)");
    start_done = std::move(done);
  }
  void RegisterDeviceActionHandler(DeviceActionHandler* h) override {
    handler.reset(h);
  }
  void AddConversationStateListener(ConversationStateListener* l) override {
    conversation_listeners.push_back(l);
  }
  void AddDeviceStateListener(DeviceStateListener* l) override {
    device_listeners.push_back(l);
  }
  void EnableListening(bool enable) override {
    log_->Add("EnableListening(" + std::to_string(enable) + ")");
  }
  void PlayAudioWithFocus(uint16_t id,
                          OutputStreamType type,
                          Callback<false, bool> done) override {
    log_->Add("PlayAudioWithFocus(" + std::to_string(id) + "," +
              std::to_string(static_cast<int>(type)) + ")");
    play_done = std::move(done);
  }
  void StartAssistantInteraction() override {
    log_->Add("StartAssistantInteraction");
  }
  void StopAssistantInteraction() override {
    log_->Add("StopAssistantInteraction");
  }
  void StopTopInteraction() override { log_->Add("StopTopInteraction"); }
  void StopAllInteractions() override { log_->Add("StopAllInteractions"); }
  void StartPresetUpdateInteraction(const std::string& preset) override {
    log_->Add("StartPresetUpdateInteraction(" + preset + ")");
  }
  void StartPresetExecuteInteraction(const std::string& preset) override {
    log_->Add("StartPresetExecuteInteraction(" + preset + ")");
  }
  void SetAuthTokens(const Tokens& tokens) override {
    log_->Add("SetAuthTokens(" + std::to_string(tokens.size()) + ")");
    token_sets.push_back(tokens);
  }
  std::string GetDeviceId() override { return device_id; }
  void ResetAllDataAndShutdown() override {
    log_->Add("ResetAllDataAndShutdown");
  }
  DebugInterface* GetDebugInterface() override {
    ++debug_asks;
    SlowPeer();
    return &debug;
  }
  MediaManager* GetMediaManager() override {
    ++media_asks;
    SlowPeer();
    return &media;
  }
  void StopAllTts() override { log_->Add("StopAllTts"); }

  EventLog* const log_;
  std::unique_ptr<PlatformApi> platform;
  std::unique_ptr<DeviceActionHandler> handler;
  std::vector<ConversationStateListener*> conversation_listeners;
  std::vector<DeviceStateListener*> device_listeners;
  Callback<false> start_done;
  Callback<false, bool> play_done;
  std::vector<Tokens> token_sets;
  std::string device_id;
  std::atomic<int> debug_asks{0};
  std::atomic<int> media_asks{0};
  NullDebugInterface debug;
  NullMediaManager media;
};

class ClientHandler : public DeviceActionHandler, private DeletionCounted {
 public:
  explicit ClientHandler(Deletions* d = nullptr) : DeletionCounted(d) {}
  std::string GetContext() const override { return "ctx"; }
  void Execute(const std::string&) override {}
};

class ClientDeviceListener : public DeviceStateListener {
 public:
  void OnMicMutedChange(bool muted) override { mic.push_back(muted); }
  std::vector<bool> mic;
};

class ClientConversationListener : public ConversationStateListener {
 public:
  void OnRespondingStarted(bool value) override { responding.push_back(value); }
  std::vector<bool> responding;
};

// ---- Round trip through both wrappers ---------------------------------------

class ManagerRoundTripTest : public ::testing::Test {
 protected:
  ManagerRoundTripTest()
      : fake_(new RecordingManager(&log_)),
        manager_(AssistantManagerFromC(AssistantManagerToC(fake_, 0))) {}
  ~ManagerRoundTripTest() override { delete manager_; }

  EventLog log_;
  RecordingManager* fake_;  // Owned through |manager_|.
  AssistantManager* manager_;
};

TEST_F(ManagerRoundTripTest, EveryOperationArrivesWithItsArguments) {
  using namespace std::string_literals;
  manager_->Start();
  manager_->EnableListening(true);
  manager_->EnableListening(false);
  manager_->PlayAudioWithFocus(0xbeef, OutputStreamType::kCalendar,
                               Callback<false, bool>([](bool) {}));
  manager_->StartAssistantInteraction();
  manager_->StopAssistantInteraction();
  manager_->StopTopInteraction();
  manager_->StopAllInteractions();
  manager_->StartPresetUpdateInteraction("up\0date"s);
  manager_->StartPresetExecuteInteraction("");
  manager_->SetAuthTokens({});
  manager_->SetAuthTokens({{"scope", "t\0k"s}, {"", ""}});
  manager_->ResetAllDataAndShutdown();
  manager_->StopAllTts();
  EXPECT_EQ(log_.entries(), (std::vector<std::string>{
                                "Start",
                                "EnableListening(1)",
                                "EnableListening(0)",
                                "PlayAudioWithFocus(48879,2)",
                                "StartAssistantInteraction",
                                "StopAssistantInteraction",
                                "StopTopInteraction",
                                "StopAllInteractions",
                                "StartPresetUpdateInteraction(up\0date)"s,
                                "StartPresetExecuteInteraction()",
                                "SetAuthTokens(0)",
                                "SetAuthTokens(2)",
                                "ResetAllDataAndShutdown",
                                "StopAllTts",
                            }));
  EXPECT_EQ(fake_->token_sets[1], (Tokens{{"scope", "t\0k"s}, {"", ""}}));

  fake_->device_id = "dev\0id"s;
  EXPECT_EQ(manager_->GetDeviceId(), "dev\0id"s);
}

TEST_F(ManagerRoundTripTest, CallbacksRunOnceAndAreReleasedByTheHost) {
  CallCounts start;
  manager_->Start(Callback<false>(Probe(&start)));
  bool played = false;
  manager_->PlayAudioWithFocus(
      1, OutputStreamType::kTts,
      Callback<false, bool>([&](bool ok) { played = ok; }));
  fake_->start_done();
  fake_->start_done();
  fake_->play_done(true);
  EXPECT_EQ(start.runs, 1);
  EXPECT_EQ(start.releases, 1);
  EXPECT_TRUE(played);

  CallCounts unrun;
  manager_->PlayAudioWithFocus(2, OutputStreamType::kTts,
                               Callback<false, bool>(Probe(&unrun)));
  delete manager_;  // The host drops the callback it never ran.
  manager_ = nullptr;
  EXPECT_EQ(unrun.runs, 0);
  EXPECT_EQ(unrun.releases, 1);
}

TEST_F(ManagerRoundTripTest, HandlerPassesToTheHostListenersStayTheClients) {
  Deletions handler_deletions;
  ClientDeviceListener device;
  ClientConversationListener conversation;
  manager_->RegisterDeviceActionHandler(new ClientHandler(&handler_deletions));
  manager_->AddDeviceStateListener(&device);
  manager_->AddConversationStateListener(&conversation);

  EXPECT_EQ(fake_->handler->GetContext(), "ctx");
  ASSERT_EQ(fake_->device_listeners.size(), 1u);
  fake_->device_listeners[0]->OnMicMutedChange(true);
  fake_->conversation_listeners[0]->OnRespondingStarted(false);
  EXPECT_EQ(device.mic, std::vector<bool>{true});
  EXPECT_EQ(conversation.responding, std::vector<bool>{false});

  delete manager_;
  manager_ = nullptr;
  EXPECT_EQ(handler_deletions.count, 1);
  EXPECT_EQ(log_.entries(), std::vector<std::string>{"manager deleted"});
}

TEST_F(ManagerRoundTripTest, AttachmentsAreBuiltOnceAndReachTheHostObjects) {
  DebugInterface* debug = manager_->GetDebugInterface();
  MediaManager* media = manager_->GetMediaManager();
  EXPECT_EQ(manager_->GetDebugInterface(), debug);
  EXPECT_EQ(manager_->GetMediaManager(), media);
  EXPECT_EQ(fake_->debug_asks, 1);
  EXPECT_EQ(fake_->media_asks, 1);
}

// ---- A host structure written by hand ---------------------------------------

// A host's manager structure with implementation version 7: records word 2 of
// every structure the bridge builds for it, releases each, counts Destroy.
struct FakeHostManager {
  C_API_AssistantManager c;
  std::vector<int> versions;
  int destroys = 0;
  std::atomic<int> debug_asks{0};
  std::atomic<int> media_asks{0};
  NullDebugInterface debug_object;
  NullMediaManager media_object;
  C_API_DebugInterface* debug = nullptr;
  C_API_MediaManager* media = nullptr;

  static FakeHostManager* From(C_API_AssistantManager* self) {
    return reinterpret_cast<FakeHostManager*>(self);
  }
  template <typename CStruct>
  static void Take(C_API_AssistantManager* self, CStruct* given) {
    From(self)->versions.push_back(given->descriptor.peer_api_version);
    given->Destroy(given);
  }

  FakeHostManager() {
    memset(&c, 0, sizeof(c));
    c.descriptor = {C_API_DESCRIPTOR_MAGIC, 7, 0, 0};
    c.Destroy = [](C_API_AssistantManager* self) { ++From(self)->destroys; };
    c.StartWithCallback = &Take<C_API_Callback>;
    c.RegisterDeviceActionHandler = &Take<C_API_DeviceActionHandler>;
    c.AddDeviceStateListener = &Take<C_API_DeviceStateListener>;
    c.AddConversationStateListener = &Take<C_API_ConversationStateListener>;
    c.PlayAudioWithFocus = [](C_API_AssistantManager* self, unsigned short, int,
                              C_API_Callback* done) { Take(self, done); };
    c.GetDeviceId = [](C_API_AssistantManager*, C_API_StringResult) {};
    c.GetDebugInterface = [](C_API_AssistantManager* self) {
      FakeHostManager* me = From(self);
      ++me->debug_asks;
      SlowPeer();
      if (!me->debug)
        me->debug = DebugInterfaceToC(&me->debug_object, 0);
      return me->debug;
    };
    c.GetMediaManager = [](C_API_AssistantManager* self) {
      FakeHostManager* me = From(self);
      ++me->media_asks;
      SlowPeer();
      if (!me->media)
        me->media = MediaManagerToC(&me->media_object, 0);
      return me->media;
    };
  }
  ~FakeHostManager() {
    DestroyDebugInterfaceInC(debug);
    DestroyMediaManagerInC(media);
  }
};

TEST(ManagerHostTest, StructuresBuiltForTheHostCarryItsVersion) {
  FakeHostManager host;
  ClientDeviceListener device;
  ClientConversationListener conversation;
  Deletions handler_deletions;
  std::unique_ptr<AssistantManager> manager(AssistantManagerFromC(&host.c));
  manager->Start(Callback<false>([] {}));
  manager->PlayAudioWithFocus(3, OutputStreamType::kMedia,
                              Callback<false, bool>([](bool) {}));
  manager->RegisterDeviceActionHandler(new ClientHandler(&handler_deletions));
  manager->AddDeviceStateListener(&device);
  manager->AddConversationStateListener(&conversation);
  EXPECT_EQ(host.versions, std::vector<int>(5, 7));
  EXPECT_EQ(handler_deletions.count, 1);  // The host released it.
}

TEST(ManagerHostTest, SilentDeviceIdIsEmptyAndDeleteDestroysOnce) {
  FakeHostManager host;
  AssistantManager* manager = AssistantManagerFromC(&host.c);
  EXPECT_EQ(manager->GetDeviceId(), "");
  EXPECT_EQ(host.destroys, 0);
  delete manager;  // No attachment was ever asked for.
  EXPECT_EQ(host.destroys, 1);
  EXPECT_EQ(host.debug_asks, 0);
}

TEST(ManagerHostTest, ConcurrentFirstCallsAskTheHostOnce) {
  FakeHostManager host;
  std::unique_ptr<AssistantManager> manager(AssistantManagerFromC(&host.c));
  std::mutex mutex;
  std::set<DebugInterface*> debugs;
  std::set<MediaManager*> medias;
  RunTogether(8, [&] {
    DebugInterface* debug = manager->GetDebugInterface();
    MediaManager* media = manager->GetMediaManager();
    std::lock_guard<std::mutex> lock(mutex);
    debugs.insert(debug);
    medias.insert(media);
  });
  EXPECT_EQ(host.debug_asks, 1);
  EXPECT_EQ(host.media_asks, 1);
  EXPECT_EQ(debugs.size(), 1u);
  EXPECT_EQ(medias.size(), 1u);
  manager.reset();
  EXPECT_EQ(host.destroys, 1);
}

// ---- Structure side on its own ----------------------------------------------

TEST(ManagerStructureTest, ConcurrentFirstCallsAskTheManagerOnce) {
  EventLog log;
  auto* fake = new RecordingManager(&log);
  C_API_AssistantManager* c = AssistantManagerToC(fake, 4);
  std::mutex mutex;
  std::set<void*> seen;
  RunTogether(8, [&] {
    void* debug = c->GetDebugInterface(c);
    void* media = c->GetMediaManager(c);
    std::lock_guard<std::mutex> lock(mutex);
    seen.insert(debug);
    seen.insert(media);
  });
  EXPECT_EQ(fake->debug_asks, 1);
  EXPECT_EQ(fake->media_asks, 1);
  ASSERT_EQ(seen.size(), 2u);
  // Built with the structure's own peer version.
  EXPECT_EQ(c->GetDebugInterface(c)->descriptor.peer_api_version, 4);
  EXPECT_EQ(c->GetMediaManager(c)->descriptor.peer_api_version, 4);
  c->Destroy(c);
}

TEST(ManagerStructureTest, DestroyReleasesInOrder) {
  EventLog log;
  ClientConversationListener conversation;
  ClientDeviceListener device;
  MediaManager::Listener media_listener;
  C_API_AssistantManager* c =
      AssistantManagerToC(new RecordingManager(&log), 0);

  C_API_MediaManager* media = c->GetMediaManager(c);
  C_API_MediaManagerListener* c_media_listener =
      MediaManagerListenerToC(&media_listener, 0);
  DestroySpy::Watch(c_media_listener, &log, "media listener");
  media->AddListener(media, c_media_listener);
  c->GetDebugInterface(c);

  // Interleaved registrations; each kind is released in its own order.
  const char* names[] = {"conversation 1", "device 1", "conversation 2",
                         "device 2"};
  for (int i = 0; i < 4; ++i) {
    if (i % 2 == 0) {
      C_API_ConversationStateListener* l =
          ConversationStateListenerToC(&conversation, 0);
      DestroySpy::Watch(l, &log, names[i]);
      c->AddConversationStateListener(c, l);
    } else {
      C_API_DeviceStateListener* l = DeviceStateListenerToC(&device, 0);
      DestroySpy::Watch(l, &log, names[i]);
      c->AddDeviceStateListener(c, l);
    }
  }
  c->Destroy(c);
  // Every listener wrapper outlives the manager that may still call it.
  EXPECT_EQ(log.entries(),
            (std::vector<std::string>{"manager deleted", "media listener",
                                      "conversation 1", "conversation 2",
                                      "device 1", "device 2"}));
}

// A manager that tells its media listeners that playback stopped while it
// shuts down, as a media stack commonly does.
class StoppingMediaManager : public NullMediaManager {
 public:
  void AddListener(Listener* listener) override {
    listeners.push_back(listener);
  }
  std::vector<Listener*> listeners;
};

class StoppingManager : public RecordingManager {
 public:
  using RecordingManager::RecordingManager;
  ~StoppingManager() override {
    MediaStatus stopped;
    stopped.playback_state = PlaybackState::kStopped;
    for (MediaManager::Listener* listener : stopping_media.listeners)
      listener->OnPlaybackStateChange(stopped);
  }
  MediaManager* GetMediaManager() override { return &stopping_media; }
  StoppingMediaManager stopping_media;
};

class StateRecordingListener : public MediaManager::Listener {
 public:
  void OnPlaybackStateChange(const MediaStatus& status) override {
    states.push_back(status.playback_state);
  }
  std::vector<PlaybackState> states;
};

TEST(ManagerStructureTest, MediaListenersStillReachableWhileManagerShutsDown) {
  EventLog log;
  StateRecordingListener listener;
  C_API_AssistantManager* c = AssistantManagerToC(new StoppingManager(&log), 0);
  C_API_MediaManager* media = c->GetMediaManager(c);
  media->AddListener(media, MediaManagerListenerToC(&listener, 0));
  c->Destroy(c);  // Under ASan, a released listener wrapper would be caught.
  EXPECT_EQ(listener.states,
            std::vector<PlaybackState>{PlaybackState::kStopped});
}

// ---- Entry point ------------------------------------------------------------

class LoggedFactory : public CountingFactory {
 public:
  LoggedFactory(EventLog* log, bool offer, Deletions* provider_deletions)
      : CountingFactory(offer, provider_deletions), log_(log) {}
  ~LoggedFactory() override { log_->Add("factory deleted"); }

 private:
  EventLog* const log_;
};

int g_internal_token;

class RecordingEntrypoint : public VantorEntrypoint {
 public:
  RecordingEntrypoint(EventLog* log,
                      bool offer = true,
                      Deletions* provider_deletions = nullptr)
      : log_(log), offer_(offer), provider_deletions_(provider_deletions) {}
  ~RecordingEntrypoint() override { log_->Add("entry deleted"); }

  AssistantManager* NewAssistantManager(const std::string& config,
                                        PlatformApi* platform) override {
    log_->Add("NewAssistantManager(" + config + "," +
              (platform ? "platform" : "null") + ")");
    return new RecordingManager(log_, platform);
  }
  PlatformFactory* NewPlatformLoader() override {
    return new LoggedFactory(log_, offer_, provider_deletions_);
  }
  AssistantManagerInternal* GetAssistantManagerInternal(
      AssistantManager* manager) override {
    unwrapped = manager;
    return reinterpret_cast<AssistantManagerInternal*>(&g_internal_token);
  }

  AssistantManager* unwrapped = nullptr;

 private:
  EventLog* const log_;
  const bool offer_;
  Deletions* const provider_deletions_;
};

TEST(EntrypointBridgeTest, RoundTripReachesTheEntrypointAndItsManagers) {
  using namespace std::string_literals;
  EventLog log;
  auto* fake = new RecordingEntrypoint(&log);
  C_API_VantorEntrypoint* c = VantorEntrypointToC(fake, 3);
  EXPECT_EQ(c->descriptor.peer_api_version, 3);
  std::unique_ptr<VantorEntrypoint> entry(VantorEntrypointFromC(c));

  AssistantManager* manager = entry->NewAssistantManager("cfg\0x"s, nullptr);
  EXPECT_EQ(GetAssistantManagerBehindCpp(manager)->descriptor.peer_api_version,
            3);
  manager->StopAllTts();
  EXPECT_EQ(entry->GetAssistantManagerInternal(manager),
            reinterpret_cast<AssistantManagerInternal*>(&g_internal_token));
  EXPECT_EQ(fake->unwrapped,
            GetAssistantManagerBehindC(GetAssistantManagerBehindCpp(manager)));

  InertPlatformApi platform;
  AssistantManager* with_platform = entry->NewAssistantManager("", &platform);
  auto* host_manager = static_cast<RecordingManager*>(
      GetAssistantManagerBehindC(GetAssistantManagerBehindCpp(with_platform)));
  ASSERT_NE(host_manager->platform, nullptr);
  EXPECT_EQ(host_manager->platform->GetFileProvider()->ReadFile("p"), "file:p");

  std::unique_ptr<PlatformFactory> loader(entry->NewPlatformLoader());
  ASSERT_NE(loader, nullptr);
  std::unique_ptr<FileProvider> file(loader->NewFileProvider("c", &platform));
  EXPECT_EQ(file->ReadFile("q"), "file:q");

  loader.reset();
  delete manager;
  delete with_platform;
  entry.reset();
  EXPECT_EQ(log.entries(),
            (std::vector<std::string>{
                "NewAssistantManager(cfg\0x,null)"s, "StopAllTts",
                "NewAssistantManager(,platform)", "factory deleted",
                "manager deleted", "manager deleted", "entry deleted"}));
}

// ---- Client entry functions over a test host --------------------------------

struct TestHost {
  EventLog log;
  bool offer = true;
  Deletions provider_deletions;
  std::vector<int> entry_versions;
  RecordingEntrypoint* last_entry = nullptr;
};
TestHost* g_host = nullptr;

}  // namespace
}  // namespace assistant_client

// The host library's export, as this test's host provides it.
extern "C" C_API_VantorEntrypoint* NewVantorEntrypoint(int version) {
  using namespace assistant_client;
  g_host->entry_versions.push_back(version);
  g_host->last_entry = new RecordingEntrypoint(&g_host->log, g_host->offer,
                                               &g_host->provider_deletions);
  return internal_api::VantorEntrypointToC(g_host->last_entry, version);
}

namespace assistant_client {
namespace {

class ClientEntryTest : public ::testing::Test {
 protected:
  ClientEntryTest() { g_host = &host_; }
  ~ClientEntryTest() override { g_host = nullptr; }
  TestHost host_;
};

TEST_F(ClientEntryTest, CreatePassesNullPlatformAndReleasesTheEntrypoint) {
  std::unique_ptr<AssistantManager> manager(
      AssistantManager::Create(nullptr, "config"));
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(host_.entry_versions, std::vector<int>{0});
  EXPECT_EQ(host_.log.entries(),
            (std::vector<std::string>{"NewAssistantManager(config,null)",
                                      "entry deleted"}));
  manager->StartAssistantInteraction();
  manager.reset();
  EXPECT_EQ(host_.log.entries().back(), "manager deleted");
}

TEST_F(ClientEntryTest, CreateConvertsAGivenPlatform) {
  InertPlatformApi platform;
  std::unique_ptr<AssistantManager> manager(
      AssistantManager::Create(&platform, ""));
  EXPECT_EQ(host_.log.entries().front(), "NewAssistantManager(,platform)");
  auto* host_manager = static_cast<RecordingManager*>(
      GetAssistantManagerBehindC(GetAssistantManagerBehindCpp(manager.get())));
  EXPECT_EQ(host_manager->platform->GetNetworkProvider()->GetConnectionStatus(),
            NetworkProvider::CONNECTED);
}

TEST_F(ClientEntryTest, UnwrapAsksAFreshEntrypointForTheHostManager) {
  std::unique_ptr<AssistantManager> manager(
      AssistantManager::Create(nullptr, ""));
  AssistantManagerInternal* internal =
      UnwrapAssistantManagerInternal(manager.get());
  EXPECT_EQ(internal,
            reinterpret_cast<AssistantManagerInternal*>(&g_internal_token));
  EXPECT_EQ(host_.entry_versions.size(), 2u);
  EXPECT_EQ(host_.log.entries().back(), "entry deleted");
}

TEST_F(ClientEntryTest, EachLoaderReleasesFactoryThenEntrypoint) {
  InertPlatformApi platform;
  const std::vector<std::function<bool()>> loaders = {
      [&] {
        return !!std::unique_ptr<AudioInputProvider>(
            LoadAudioInputProvider("cfg", &platform));
      },
      [&] {
        return !!std::unique_ptr<AudioOutputProvider>(
            LoadAudioOutputProvider("cfg", &platform));
      },
      [&] {
        return !!std::unique_ptr<AuthProvider>(
            LoadAuthProvider("cfg", &platform));
      },
      [&] {
        return !!std::unique_ptr<FileProvider>(
            LoadFileProvider("cfg", &platform));
      },
      [&] {
        return !!std::unique_ptr<NetworkProvider>(
            LoadNetworkProvider("cfg", &platform));
      },
      [&] {
        return !!std::unique_ptr<SystemProvider>(
            LoadSystemProvider("cfg", &platform));
      },
  };
  for (size_t i = 0; i < loaders.size(); ++i) {
    EXPECT_TRUE(loaders[i]()) << i;
    EXPECT_EQ(host_.provider_deletions.count, static_cast<int>(i + 1)) << i;
    const std::vector<std::string> events = host_.log.entries();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "factory deleted") << i;
    EXPECT_EQ(events.back(), "entry deleted") << i;
  }
  // Every request reached the factory with the configuration and a platform.
  EXPECT_EQ(platform.calls, 6);
}

TEST_F(ClientEntryTest, LoaderAnswersNullWhenTheFactoryOffersNothing) {
  host_.offer = false;
  InertPlatformApi platform;
  EXPECT_EQ(LoadNetworkProvider("", &platform), nullptr);
  EXPECT_EQ(host_.log.entries(),
            (std::vector<std::string>{"factory deleted", "entry deleted"}));
}

class ClientEntryDeathTest : public ClientEntryTest {
 protected:
  ClientEntryDeathTest() { testing_support::UseFreshDeathTestProcesses(); }
};

TEST_F(ClientEntryDeathTest, UnwrapOfNullAborts) {
  EXPECT_BRIDGE_DEATH(UnwrapAssistantManagerInternal(nullptr));
}

TEST_F(ClientEntryDeathTest, LoaderWithoutPlatformAborts) {
  EXPECT_BRIDGE_DEATH(LoadFileProvider("", nullptr));
}

}  // namespace
}  // namespace assistant_client
