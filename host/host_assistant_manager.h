// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The stand-in host's assistant manager: plays a scenario of conversation
// turns and device events to the client's listeners, with real audio
// through the platform's providers, a media playlist and a debug HTTP
// server; on Start it loads the platform plug-ins and takes their providers,
// as the real host library would. Every operation is logged with its
// arguments.
#ifndef HOST_HOST_ASSISTANT_MANAGER_H_
#define HOST_HOST_ASSISTANT_MANAGER_H_

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/synchronization.h"
#include "host/base/scheduler.h"
#include "host/debug/host_debug_interface.h"
#include "host/network/network_reactions.h"
#include "host/platform/builtin_platform.h"
#include "host/platform/system_reactions.h"
#include "host/plugins/plugin_registry.h"
#include "host/scenario/client_listeners.h"
#include "host/scenario/conversation.h"
#include "host/scenario/media_playlist.h"
#include "platform/utils/config_accessor.h"
#include "prebuilt/lib/assistant_client.h"

namespace vantor_host {

class HostAssistantManager : public assistant_client::AssistantManager {
 public:
  // The section of the configuration that the stand-in host reads.
  static constexpr char kConfigSection[] = "vantor_host";

  // |platform| is the client's platform or null; the manager owns it.
  HostAssistantManager(const std::string& config,
                       assistant_client::PlatformApi* platform);
  // Plays out the interactions asked for, then shuts down.
  ~HostAssistantManager() override;

  void Start() override;
  void Start(assistant_client::Callback<false> done) override;
  void RegisterDeviceActionHandler(
      assistant_client::DeviceActionHandler* handler) override;
  void AddConversationStateListener(
      assistant_client::ConversationStateListener* listener) override;
  void AddDeviceStateListener(
      assistant_client::DeviceStateListener* listener) override;
  void EnableListening(bool enable) override;
  void PlayAudioWithFocus(
      uint16_t id,
      assistant_client::OutputStreamType type,
      assistant_client::Callback<false, bool> done) override;
  void StartAssistantInteraction() override;
  void StopAssistantInteraction() override;
  void StopTopInteraction() override;
  void StopAllInteractions() override;
  void StartPresetUpdateInteraction(const std::string& preset) override;
  void StartPresetExecuteInteraction(const std::string& preset) override;
  void SetAuthTokens(
      const std::vector<std::pair<std::string, std::string>>& tokens) override;
  std::string GetDeviceId() override;
  void ResetAllDataAndShutdown() override;
  assistant_client::DebugInterface* GetDebugInterface() override;
  assistant_client::MediaManager* GetMediaManager() override;
  void StopAllTts() override;

 private:
  // Chooses the provider of each kind once: the client's platform, else the
  // plug-ins', else the built-in ones.
  void LoadPlatform() CORE_EXCLUDES(mutex_);
  // An optional key of the host's section: absent is not worth a warning.
  std::string OptionalString(const std::string& key);

  const std::string config_;
  // Null when the configuration text does not parse.
  const std::unique_ptr<assistant_reference::ConfigAccessor> host_config_;
  const std::unique_ptr<assistant_client::PlatformApi> client_platform_;

  BuiltinPlatform builtin_platform_;
  Scheduler scheduler_;  // Stopped in the destructor, before what it calls.
  ClientListeners listeners_;
  HostMediaManager media_manager_;
  HostDebugInterface debug_interface_;
  std::unique_ptr<Conversation> conversation_;

  core::Mutex mutex_;
  bool platform_loaded_ CORE_GUARDED_BY(mutex_) = false;
  std::string device_id_ CORE_GUARDED_BY(mutex_);  // Empty until first asked.
  // How late GetDeviceId answers; set by a test fault.
  std::atomic<int> answer_delay_ms_{0};
  // The plug-ins' providers; released (their Destroy) after everything that
  // uses them.
  PluginProviders plugin_providers_ CORE_GUARDED_BY(mutex_);
  // Reactions to the network and system provider in use; they go before
  // the providers they use.
  std::unique_ptr<NetworkReactions> network_reactions_ CORE_GUARDED_BY(mutex_);
  std::unique_ptr<SystemReactions> system_reactions_ CORE_GUARDED_BY(mutex_);
};

}  // namespace vantor_host

#endif  // HOST_HOST_ASSISTANT_MANAGER_H_
