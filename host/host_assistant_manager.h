// The stand-in host's assistant manager: logs each operation with its
// arguments, keeps a stable device id, and on Start loads the platform
// plug-ins and takes their providers, as the real host library would.
#ifndef HOST_HOST_ASSISTANT_MANAGER_H_
#define HOST_HOST_ASSISTANT_MANAGER_H_

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/builtin_platform.h"
#include "host/network_reactions.h"
#include "host/system_reactions.h"
#include "platform/utils/config_accessor.h"
#include "prebuilt/lib/assistant_client.h"

namespace vantor_host {

// Keeps its listeners and logs the controls.
class HostMediaManager : public assistant_client::MediaManager {
 public:
  void AddListener(Listener* listener) override;
  void Next() override;
  void Previous() override;
  void Resume() override;
  void Pause() override;
  void StopAndClearPlaylist() override;
  size_t listener_count();

 private:
  std::mutex mutex_;
  std::vector<Listener*> listeners_;  // Borrowed; owned by their registrar.
};

// Keeps the registered handlers and variables.
class HostDebugInterface : public assistant_client::DebugInterface {
 public:
  void RegisterUriPath(
      const std::string& path,
      HandlerCallback callback,
      const std::vector<assistant_client::DebugHttpContext::Method>& methods)
      override;
  void SetDebugVariable(const std::string& name,
                        const std::string& value) override;
  // Runs the handler of |path| with |context| (ownership passes); false when
  // no handler is registered (|context| is then deleted).
  bool Dispatch(const std::string& path,
                assistant_client::DebugHttpContext* context);
  std::string GetVariable(const std::string& name);

 private:
  std::mutex mutex_;
  std::map<std::string, HandlerCallback> handlers_;
  std::map<std::string, std::string> variables_;
};

class HostAssistantManager : public assistant_client::AssistantManager {
 public:
  // The section of the configuration that the stand-in host reads.
  static constexpr char kConfigSection[] = "vantor_host";

  // |platform| is the client's platform or null; the manager owns it.
  HostAssistantManager(const std::string& config,
                       assistant_client::PlatformApi* platform);
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
  // Loads the plug-ins once and keeps every provider they offer.
  void LoadPlatform();

  const std::string config_;
  // Null when the configuration text does not parse.
  const std::unique_ptr<assistant_reference::ConfigAccessor> host_config_;
  const std::unique_ptr<assistant_client::PlatformApi> client_platform_;

  BuiltinPlatform builtin_platform_;
  HostMediaManager media_manager_;
  HostDebugInterface debug_interface_;

  std::mutex mutex_;  // Guards everything below.
  bool platform_loaded_ = false;
  std::string device_id_;  // Empty until first asked.
  std::vector<std::unique_ptr<assistant_client::DeviceActionHandler>> handlers_;
  // Borrowed: the bridge releases listener wrappers after the manager.
  std::vector<assistant_client::ConversationStateListener*>
      conversation_listeners_;
  std::vector<assistant_client::DeviceStateListener*> device_state_listeners_;
  // Providers from the plug-ins; released (their Destroy) before the
  // listeners and the built-in platform.
  std::vector<std::unique_ptr<assistant_client::AuthProvider>> auth_;
  std::vector<std::unique_ptr<assistant_client::AudioInputProvider>>
      audio_input_;
  std::vector<std::unique_ptr<assistant_client::AudioOutputProvider>>
      audio_output_;
  std::vector<std::unique_ptr<assistant_client::FileProvider>> file_;
  std::vector<std::unique_ptr<assistant_client::NetworkProvider>> network_;
  std::vector<std::unique_ptr<assistant_client::SystemProvider>> system_;
  // Reactions to the first network and system provider; they go before the
  // providers they use.
  std::unique_ptr<NetworkReactions> network_reactions_;
  std::unique_ptr<SystemReactions> system_reactions_;

  std::atomic<int> interactions_{0};
};

}  // namespace vantor_host

#endif  // HOST_HOST_ASSISTANT_MANAGER_H_
