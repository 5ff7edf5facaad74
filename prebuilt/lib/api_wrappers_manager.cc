// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Bridges of the entry point, the assistant manager with its attachments,
// the platform factory and the platform bundle.
#include <memory>
#include <vector>

#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/wrapper_base.h"

namespace assistant_client {
namespace internal_api {
namespace {

using C_Manager = C_API_AssistantManager;
using C_Factory = C_API_PlatformFactory;
using C_Platform = C_API_PlatformApi;

// ---- VantorEntrypoint -------------------------------------------------------

class C_API_VantorEntrypointImpl
    : public StructWrapper<C_API_VantorEntrypointImpl,
                           C_API_VantorEntrypoint,
                           VantorEntrypoint> {
 public:
  C_API_VantorEntrypointImpl(VantorEntrypoint* entrypoint, int version)
      : StructWrapper(entrypoint, /*owned=*/true, version) {
    c_api_.NewAssistantManager = [](C_API_VantorEntrypoint* self,
                                    C_API_String config, C_Platform* platform) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        C_API_VantorEntrypointImpl* me = From(self);
        // The wrapper passes to the new manager, which owns it from then on.
        PlatformApi* wrapped = platform ? PlatformApiFromC(platform) : nullptr;
        return AssistantManagerToC(
            me->object_->NewAssistantManager(StringFromC(config), wrapped),
            me->peer_api_version());
      });
    };
    c_api_.NewPlatformLoader = [](C_API_VantorEntrypoint* self) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        C_API_VantorEntrypointImpl* me = From(self);
        return PlatformFactoryToC(me->object_->NewPlatformLoader(),
                                  me->peer_api_version());
      });
    };
    c_api_.GetAssistantManagerInternal = [](C_API_VantorEntrypoint* self,
                                            C_Manager* manager) -> void* {
      return GuardSlot(__PRETTY_FUNCTION__, [&]() -> void* {
        return From(self)->object_->GetAssistantManagerInternal(
            GetAssistantManagerBehindC(manager));
      });
    };
  }
};

class VantorEntrypointImpl : public VantorEntrypoint,
                             public PeerWrapper<C_API_VantorEntrypoint> {
 public:
  explicit VantorEntrypointImpl(C_API_VantorEntrypoint* c) : PeerWrapper(c) {}

  AssistantManager* NewAssistantManager(const std::string& config,
                                        PlatformApi* platform) override {
    C_Platform* c_platform =
        platform ? PlatformApiToC(platform, peer_version()) : nullptr;
    return AssistantManagerFromC(c_object_->NewAssistantManager(
        c_object_, StringToC(config), c_platform));
  }
  PlatformFactory* NewPlatformLoader() override {
    return Call<&C_API_VantorEntrypoint::NewPlatformLoader, PlatformFactory*>();
  }
  AssistantManagerInternal* GetAssistantManagerInternal(
      AssistantManager* manager) override {
    return static_cast<AssistantManagerInternal*>(
        c_object_->GetAssistantManagerInternal(
            c_object_, GetAssistantManagerBehindCpp(manager)));
  }
};

// ---- AssistantManager -------------------------------------------------------

class C_API_AssistantManagerImpl
    : public StructWrapper<C_API_AssistantManagerImpl,
                           C_Manager,
                           AssistantManager> {
 public:
  using M = AssistantManager;
  using Self = C_API_AssistantManagerImpl;

  C_API_AssistantManagerImpl(AssistantManager* manager, int version)
      : StructWrapper(manager, /*owned=*/true, version) {
    Forward<&C_Manager::Start, static_cast<void (M::*)()>(&M::Start)>();
    Forward<&C_Manager::StartWithCallback,
            static_cast<void (M::*)(Callback<false>)>(&M::Start)>();
    Forward<&C_Manager::RegisterDeviceActionHandler,
            &M::RegisterDeviceActionHandler>();
    c_api_.AddDeviceStateListener = [](C_Manager* self,
                                       C_API_DeviceStateListener* listener) {
      return GuardSlot(__PRETTY_FUNCTION__, [&] {
        From(self)->AddListener(DeviceStateListenerFromC(listener),
                                &M::AddDeviceStateListener,
                                &From(self)->device_state_listeners_);
      });
    };
    c_api_.AddConversationStateListener =
        [](C_Manager* self, C_API_ConversationStateListener* listener) {
          GuardSlot(__PRETTY_FUNCTION__, [&] {
            From(self)->AddListener(ConversationStateListenerFromC(listener),
                                    &M::AddConversationStateListener,
                                    &From(self)->conversation_listeners_);
          });
        };
    Forward<&C_Manager::EnableListening, &M::EnableListening>();
    Forward<&C_Manager::PlayAudioWithFocus, &M::PlayAudioWithFocus>();
    Forward<&C_Manager::StartAssistantInteraction,
            &M::StartAssistantInteraction>();
    Forward<&C_Manager::StopAssistantInteraction,
            &M::StopAssistantInteraction>();
    Forward<&C_Manager::StopTopInteraction, &M::StopTopInteraction>();
    Forward<&C_Manager::StopAllInteractions, &M::StopAllInteractions>();
    Forward<&C_Manager::StartPresetUpdateInteraction,
            &M::StartPresetUpdateInteraction>();
    Forward<&C_Manager::StartPresetExecuteInteraction,
            &M::StartPresetExecuteInteraction>();
    Forward<&C_Manager::GetDeviceId, &M::GetDeviceId>();
    Forward<&C_Manager::SetAuthTokens, &M::SetAuthTokens>();
    Forward<&C_Manager::ResetAllDataAndShutdown, &M::ResetAllDataAndShutdown>();
    Forward<&C_Manager::StopAllTts, &M::StopAllTts>();
    ForwardCached<&C_Manager::GetDebugInterface, &M::GetDebugInterface,
                  &DebugInterfaceToC, &Self::debug_interface_>();
    ForwardCached<&C_Manager::GetMediaManager, &M::GetMediaManager,
                  &MediaManagerToC, &Self::media_manager_>();
  }

  ~C_API_AssistantManagerImpl() {
    // The manager goes before every listener it may still call, the media
    // manager's included: those live in the media manager's wrapper.
    ReleaseObject();
    DestroyDebugInterfaceInC(debug_interface_.get());
    DestroyMediaManagerInC(media_manager_.get());
    for (ConversationStateListener* listener : conversation_listeners_)
      delete listener;
    for (DeviceStateListener* listener : device_state_listeners_)
      delete listener;
  }

 private:
  // Records the peer's listener wrapper and hands it to the manager; the
  // lock is held across the call so registrations keep their order.
  template <typename Listener>
  void AddListener(Listener* listener,
                   void (M::*add)(Listener*),
                   std::vector<Listener*>* list) {
    AutoLock lock(&lock_);
    list->push_back(listener);
    (object_->*add)(listener);
  }

  // Interface-side wrappers of the peer's listeners, in registration order.
  std::vector<ConversationStateListener*> conversation_listeners_;
  std::vector<DeviceStateListener*> device_state_listeners_;
  Cached<C_API_DebugInterface> debug_interface_;
  Cached<C_API_MediaManager> media_manager_;
  Lock lock_;  // Guards the two lists.
};

class AssistantManagerImpl : public AssistantManager,
                             public PeerWrapper<C_Manager> {
 public:
  explicit AssistantManagerImpl(C_Manager* c) : PeerWrapper(c) {}
  ~AssistantManagerImpl() override {
    DestroyDebugInterfaceInC(debug_interface_.get());
    DestroyMediaManagerInC(media_manager_.get());
    ReleasePeer();
  }

  void Start() override { Call<&C_Manager::Start>(); }
  void Start(Callback<false> done) override {
    Call<&C_Manager::StartWithCallback>(std::move(done));
  }
  void RegisterDeviceActionHandler(DeviceActionHandler* handler) override {
    Call<&C_Manager::RegisterDeviceActionHandler>(handler);
  }
  void AddConversationStateListener(
      ConversationStateListener* listener) override {
    Call<&C_Manager::AddConversationStateListener>(listener);
  }
  void AddDeviceStateListener(DeviceStateListener* listener) override {
    Call<&C_Manager::AddDeviceStateListener>(listener);
  }
  void EnableListening(bool enable) override {
    Call<&C_Manager::EnableListening>(enable);
  }
  void PlayAudioWithFocus(uint16_t id,
                          OutputStreamType type,
                          Callback<false, bool> done) override {
    Call<&C_Manager::PlayAudioWithFocus>(id, type, std::move(done));
  }
  void StartAssistantInteraction() override {
    Call<&C_Manager::StartAssistantInteraction>();
  }
  void StopAssistantInteraction() override {
    Call<&C_Manager::StopAssistantInteraction>();
  }
  void StopTopInteraction() override { Call<&C_Manager::StopTopInteraction>(); }
  void StopAllInteractions() override {
    Call<&C_Manager::StopAllInteractions>();
  }
  void StartPresetUpdateInteraction(const std::string& preset) override {
    Call<&C_Manager::StartPresetUpdateInteraction>(preset);
  }
  void StartPresetExecuteInteraction(const std::string& preset) override {
    Call<&C_Manager::StartPresetExecuteInteraction>(preset);
  }
  void SetAuthTokens(
      const std::vector<std::pair<std::string, std::string>>& tokens) override {
    Call<&C_Manager::SetAuthTokens>(tokens);
  }
  std::string GetDeviceId() override {
    return Call<&C_Manager::GetDeviceId, std::string>();
  }
  void ResetAllDataAndShutdown() override {
    Call<&C_Manager::ResetAllDataAndShutdown>();
  }
  DebugInterface* GetDebugInterface() override {
    return CallCached<&C_Manager::GetDebugInterface, &DebugInterfaceFromC>(
        &debug_interface_);
  }
  MediaManager* GetMediaManager() override {
    return CallCached<&C_Manager::GetMediaManager, &MediaManagerFromC>(
        &media_manager_);
  }
  void StopAllTts() override { Call<&C_Manager::StopAllTts>(); }

 private:
  Cached<DebugInterface> debug_interface_;
  Cached<MediaManager> media_manager_;
};

// ---- PlatformFactory --------------------------------------------------------

class C_API_PlatformFactoryImpl
    : public StructWrapper<C_API_PlatformFactoryImpl,
                           C_Factory,
                           PlatformFactory> {
 public:
  C_API_PlatformFactoryImpl(PlatformFactory* factory, int version)
      : StructWrapper(factory, /*owned=*/true, version) {
    c_api_.NewAuthProvider =
        &NewProvider<&C_Factory::NewAuthProvider,
                     &PlatformFactory::NewAuthProvider, &AuthProviderToC>;
    c_api_.NewAudioInputProvider =
        &NewProvider<&C_Factory::NewAudioInputProvider,
                     &PlatformFactory::NewAudioInputProvider,
                     &AudioInputProviderToC>;
    c_api_.NewAudioOutputProvider =
        &NewProvider<&C_Factory::NewAudioOutputProvider,
                     &PlatformFactory::NewAudioOutputProvider,
                     &AudioOutputProviderToC>;
    c_api_.NewFileProvider =
        &NewProvider<&C_Factory::NewFileProvider,
                     &PlatformFactory::NewFileProvider, &FileProviderToC>;
    c_api_.NewNetworkProvider =
        &NewProvider<&C_Factory::NewNetworkProvider,
                     &PlatformFactory::NewNetworkProvider, &NetworkProviderToC>;
    c_api_.NewSystemProvider =
        &NewProvider<&C_Factory::NewSystemProvider,
                     &PlatformFactory::NewSystemProvider, &SystemProviderToC>;
  }

 private:
  // The new structure owns the provider, so the peer's Destroy deletes it.
  // The platform wrapper passes to the factory.
  template <auto Slot, auto Method, auto ToC>
  static auto NewProvider(C_Factory* self,
                          C_API_String config,
                          C_Platform* platform) ->
      typename SlotTraits<decltype(Slot)>::Return {
    using R = typename SlotTraits<decltype(Slot)>::Return;
    return GuardSlot(__PRETTY_FUNCTION__, [&]() -> R {
      C_API_PlatformFactoryImpl* me = From(self);
      auto* provider = (me->object_->*Method)(StringFromC(config),
                                              PlatformApiFromC(platform));
      return provider ? ToC(provider, /*owned=*/true, me->peer_api_version())
                      : nullptr;
    });
  }
};

class PlatformFactoryImpl : public PlatformFactory,
                            public PeerWrapper<C_Factory> {
 public:
  explicit PlatformFactoryImpl(C_Factory* c) : PeerWrapper(c) {}

  AuthProvider* NewAuthProvider(const std::string& config,
                                PlatformApi* platform) override {
    return NewProvider<&C_Factory::NewAuthProvider, &AuthProviderFromC>(
        config, platform);
  }
  AudioInputProvider* NewAudioInputProvider(const std::string& config,
                                            PlatformApi* platform) override {
    return NewProvider<&C_Factory::NewAudioInputProvider,
                       &AudioInputProviderFromC>(config, platform);
  }
  AudioOutputProvider* NewAudioOutputProvider(const std::string& config,
                                              PlatformApi* platform) override {
    return NewProvider<&C_Factory::NewAudioOutputProvider,
                       &AudioOutputProviderFromC>(config, platform);
  }
  FileProvider* NewFileProvider(const std::string& config,
                                PlatformApi* platform) override {
    return NewProvider<&C_Factory::NewFileProvider, &FileProviderFromC>(
        config, platform);
  }
  NetworkProvider* NewNetworkProvider(const std::string& config,
                                      PlatformApi* platform) override {
    return NewProvider<&C_Factory::NewNetworkProvider, &NetworkProviderFromC>(
        config, platform);
  }
  SystemProvider* NewSystemProvider(const std::string& config,
                                    PlatformApi* platform) override {
    return NewProvider<&C_Factory::NewSystemProvider, &SystemProviderFromC>(
        config, platform);
  }

 private:
  // The platform structure built here belongs to the peer from then on.
  template <auto Slot, auto FromC>
  auto NewProvider(const std::string& config, PlatformApi* platform)
      -> decltype(FromC(nullptr)) {
    auto* c_provider = (c_object_->*Slot)(
        c_object_, StringToC(config), PlatformApiToC(platform, peer_version()));
    return c_provider ? FromC(c_provider) : nullptr;
  }
};

// ---- PlatformApi ------------------------------------------------------------

class C_API_PlatformApiImpl
    : public StructWrapper<C_API_PlatformApiImpl, C_Platform, PlatformApi> {
 public:
  C_API_PlatformApiImpl(PlatformApi* platform, int version)
      : StructWrapper(platform, /*owned=*/false, version) {
    c_api_.GetAudioInputProvider =
        &Get<&PlatformApi::GetAudioInputProvider, &AudioInputProviderToC>;
    c_api_.GetAudioOutputProvider =
        &Get<&PlatformApi::GetAudioOutputProvider, &AudioOutputProviderToC>;
    c_api_.GetAuthProvider =
        &Get<&PlatformApi::GetAuthProvider, &AuthProviderToC>;
    c_api_.GetFileProvider =
        &Get<&PlatformApi::GetFileProvider, &FileProviderToC>;
    c_api_.GetNetworkProvider =
        &Get<&PlatformApi::GetNetworkProvider, &NetworkProviderToC>;
    c_api_.GetSystemProvider =
        &Get<&PlatformApi::GetSystemProvider, &SystemProviderToC>;
  }

 private:
  // A new non-owning structure at every call; a null provider is fatal in
  // the wrapper's constructor.
  template <auto Getter, auto ToC>
  static auto Get(C_Platform* self) -> decltype(ToC(nullptr, false, 0)) {
    return GuardSlot(__PRETTY_FUNCTION__, [&] {
      C_API_PlatformApiImpl* me = From(self);
      return ToC((me->object_->*Getter)(), /*owned=*/false,
                 me->peer_api_version());
    });
  }
};

class PlatformApiImpl : public PlatformApi, public PeerWrapper<C_Platform> {
 public:
  explicit PlatformApiImpl(C_Platform* c) : PeerWrapper(c) {}
  ~PlatformApiImpl() override {
    delete audio_input_provider_.get();
    delete audio_output_provider_.get();
    delete auth_provider_.get();
    delete file_provider_.get();
    delete network_provider_.get();
    delete system_provider_.get();
    ReleasePeer();
  }

  // The peer is asked once per provider; every later call returns the same
  // wrapper.
  AudioInputProvider* GetAudioInputProvider() override {
    return CallCached<&C_Platform::GetAudioInputProvider,
                      &AudioInputProviderFromC>(&audio_input_provider_);
  }
  AudioOutputProvider* GetAudioOutputProvider() override {
    return CallCached<&C_Platform::GetAudioOutputProvider,
                      &AudioOutputProviderFromC>(&audio_output_provider_);
  }
  AuthProvider* GetAuthProvider() override {
    return CallCached<&C_Platform::GetAuthProvider, &AuthProviderFromC>(
        &auth_provider_);
  }
  FileProvider* GetFileProvider() override {
    return CallCached<&C_Platform::GetFileProvider, &FileProviderFromC>(
        &file_provider_);
  }
  NetworkProvider* GetNetworkProvider() override {
    return CallCached<&C_Platform::GetNetworkProvider, &NetworkProviderFromC>(
        &network_provider_);
  }
  SystemProvider* GetSystemProvider() override {
    return CallCached<&C_Platform::GetSystemProvider, &SystemProviderFromC>(
        &system_provider_);
  }

 private:
  Cached<AudioInputProvider> audio_input_provider_;
  Cached<AudioOutputProvider> audio_output_provider_;
  Cached<AuthProvider> auth_provider_;
  Cached<FileProvider> file_provider_;
  Cached<NetworkProvider> network_provider_;
  Cached<SystemProvider> system_provider_;
};

}  // namespace

C_API_VantorEntrypoint* VantorEntrypointToC(VantorEntrypoint* entrypoint,
                                            int version) {
  return (new C_API_VantorEntrypointImpl(entrypoint, version))->c_struct();
}

VantorEntrypoint* VantorEntrypointFromC(C_API_VantorEntrypoint* c) {
  return new VantorEntrypointImpl(c);
}

C_API_AssistantManager* AssistantManagerToC(AssistantManager* manager,
                                            int version) {
  return (new C_API_AssistantManagerImpl(manager, version))->c_struct();
}

AssistantManager* AssistantManagerFromC(C_API_AssistantManager* c) {
  return new AssistantManagerImpl(c);
}

C_API_AssistantManager* GetAssistantManagerBehindCpp(
    AssistantManager* manager) {
  return static_cast<AssistantManagerImpl*>(manager)->underlying_obj();
}

AssistantManager* GetAssistantManagerBehindC(C_API_AssistantManager* manager) {
  return C_API_AssistantManagerImpl::From(manager)->underlying_obj();
}

C_API_PlatformFactory* PlatformFactoryToC(PlatformFactory* factory,
                                          int version) {
  return (new C_API_PlatformFactoryImpl(factory, version))->c_struct();
}

PlatformFactory* PlatformFactoryFromC(C_API_PlatformFactory* c) {
  return new PlatformFactoryImpl(c);
}

PlatformFactory* NewPlatformFactoryForEntrypoint(void* entry) {
  return PlatformFactoryFromC(static_cast<C_API_PlatformFactory*>(entry));
}

C_API_PlatformApi* PlatformApiToC(PlatformApi* platform, int version) {
  return (new C_API_PlatformApiImpl(platform, version))->c_struct();
}

PlatformApi* PlatformApiFromC(C_API_PlatformApi* c) {
  return new PlatformApiImpl(c);
}

void DestroyPlatformApiInC(PlatformApi* platform) {
  delete platform;
}

}  // namespace internal_api

C_API_PlatformFactory* CreatePlatformEntrypoint(int version,
                                                PlatformFactory* factory) {
  return internal_api::PlatformFactoryToC(factory, version);
}

}  // namespace assistant_client
