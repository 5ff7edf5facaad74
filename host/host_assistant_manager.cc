#include "host/host_assistant_manager.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

#include "core/logging.h"
#include "host/plugin_registry.h"
#include "platform/utils/config_accessor_internal.h"
#include "platform/utils/file_utils.h"

namespace vantor_host {
namespace {

using namespace assistant_client;  // NOLINT: a stand-in full of overrides.

std::unique_ptr<assistant_reference::ConfigAccessor> ParseHostConfig(
    const std::string& config) {
  std::string error;
  auto accessor = assistant_reference::ConfigAccessorInternal::TryParse(
      config, HostAssistantManager::kConfigSection, &error);
  if (!accessor) {
    // A plug-in given this text would abort; the host keeps running without
    // them so the failure is visible in one place.
    LOG(WARNING) << "Configuration does not parse (" << error
                 << "); plug-ins are not loaded";
  }
  return accessor;
}

std::string RandomHexId() {
  unsigned char bytes[16] = {};
  int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ssize_t got = read(fd, bytes, sizeof(bytes));
    (void)got;  // Zeroes are still an id; a device without urandom is odd.
    close(fd);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string id;
  for (unsigned char byte : bytes) {
    id += kHex[byte >> 4];
    id += kHex[byte & 0xf];
  }
  return id;
}

// An optional key of the host's section: absent is not worth a warning.
std::string OptionalString(const assistant_reference::ConfigAccessor& config,
                           const std::string& key) {
  for (const std::string& present :
       assistant_reference::ConfigAccessorInternal::SectionKeys(config)) {
    if (present == key)
      return config.GetString(key, "");
  }
  return "";
}

const char* OnOff(bool value) {
  return value ? "on" : "off";
}

}  // namespace

// ---- HostMediaManager
// ----------------------------------------------------------

void HostMediaManager::AddListener(Listener* listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  listeners_.push_back(listener);
  LOG(INFO) << "MediaManager::AddListener: " << listeners_.size()
            << " listener(s)";
}
void HostMediaManager::Next() {
  LOG(INFO) << "MediaManager::Next()";
}
void HostMediaManager::Previous() {
  LOG(INFO) << "MediaManager::Previous()";
}
void HostMediaManager::Resume() {
  LOG(INFO) << "MediaManager::Resume()";
}
void HostMediaManager::Pause() {
  LOG(INFO) << "MediaManager::Pause()";
}
void HostMediaManager::StopAndClearPlaylist() {
  LOG(INFO) << "MediaManager::StopAndClearPlaylist()";
}
size_t HostMediaManager::listener_count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return listeners_.size();
}

// ---- HostDebugInterface
// --------------------------------------------------------

void HostDebugInterface::RegisterUriPath(
    const std::string& path,
    HandlerCallback callback,
    const std::vector<DebugHttpContext::Method>& methods) {
  std::lock_guard<std::mutex> lock(mutex_);
  handlers_[path] = std::move(callback);
  LOG(INFO) << "DebugInterface::RegisterUriPath(" << path << ", "
            << methods.size() << " method(s))";
}

void HostDebugInterface::SetDebugVariable(const std::string& name,
                                          const std::string& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  variables_[name] = value;
  LOG(INFO) << "DebugInterface::SetDebugVariable(" << name << ", " << value
            << ")";
}

bool HostDebugInterface::Dispatch(const std::string& path,
                                  DebugHttpContext* context) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = handlers_.find(path);
  if (it == handlers_.end()) {
    delete context;
    return false;
  }
  it->second(context);
  return true;
}

std::string HostDebugInterface::GetVariable(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = variables_.find(name);
  return it == variables_.end() ? std::string() : it->second;
}

// ---- HostAssistantManager
// --------------------------------------------------------

HostAssistantManager::HostAssistantManager(const std::string& config,
                                           PlatformApi* platform)
    : config_(config),
      host_config_(ParseHostConfig(config)),
      client_platform_(platform) {
  LOG(INFO) << "NewAssistantManager: configuration of " << config.size()
            << " bytes, " << (platform ? "client platform" : "no platform");
}

HostAssistantManager::~HostAssistantManager() {
  LOG(INFO) << "Assistant manager deleted after " << interactions_.load()
            << " interaction(s)";
}

void HostAssistantManager::LoadPlatform() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (platform_loaded_ || !host_config_)
      return;
    platform_loaded_ = true;
  }
  const std::string folder =
      FindPluginFolder(OptionalString(*host_config_, "plugin_dir"));
  LOG(INFO) << "Loading plug-ins from " << folder;
  for (const Plugin& plugin : LoadPlugins(folder)) {
    std::unique_ptr<PlatformFactory> factory = NewFactory(plugin);
    if (!factory)
      continue;
    auto offer = [&](auto* provider, auto* list, const char* kind) {
      if (!provider)
        return;
      LOG(INFO) << "Plug-in " << plugin.name << " provides the " << kind
                << " provider";
      std::lock_guard<std::mutex> lock(mutex_);
      list->emplace_back(provider);
    };
    offer(factory->NewAuthProvider(config_, &builtin_platform_), &auth_,
          "auth");
    offer(factory->NewAudioInputProvider(config_, &builtin_platform_),
          &audio_input_, "audio input");
    offer(factory->NewAudioOutputProvider(config_, &builtin_platform_),
          &audio_output_, "audio output");
    offer(factory->NewFileProvider(config_, &builtin_platform_), &file_,
          "file");
    offer(factory->NewNetworkProvider(config_, &builtin_platform_), &network_,
          "network");
    offer(factory->NewSystemProvider(config_, &builtin_platform_), &system_,
          "system");
  }
  NetworkProvider* network = nullptr;
  SystemProvider* system = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!network_.empty())
      network = network_.front().get();
    if (!system_.empty())
      system = system_.front().get();
    builtin_platform_.SetNetworkProvider(network);
    builtin_platform_.SetSystemProvider(system);
  }
  auto network_reactions = network ? std::make_unique<NetworkReactions>(
                                         network, *host_config_, GetDeviceId())
                                   : nullptr;
  auto system_reactions =
      system ? std::make_unique<SystemReactions>(system) : nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  network_reactions_ = std::move(network_reactions);
  system_reactions_ = std::move(system_reactions);
}

void HostAssistantManager::Start() {
  LOG(INFO) << "Start()";
  LoadPlatform();
}

void HostAssistantManager::Start(Callback<false> done) {
  LOG(INFO) << "Start(done)";
  LoadPlatform();
  done();
}

void HostAssistantManager::RegisterDeviceActionHandler(
    DeviceActionHandler* handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handlers_.emplace_back(handler);
  LOG(INFO) << "RegisterDeviceActionHandler: " << handlers_.size()
            << " handler(s)";
}

void HostAssistantManager::AddConversationStateListener(
    ConversationStateListener* listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  conversation_listeners_.push_back(listener);
  LOG(INFO) << "AddConversationStateListener: "
            << conversation_listeners_.size() << " listener(s)";
}

void HostAssistantManager::AddDeviceStateListener(
    DeviceStateListener* listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  device_state_listeners_.push_back(listener);
  LOG(INFO) << "AddDeviceStateListener: " << device_state_listeners_.size()
            << " listener(s)";
}

void HostAssistantManager::EnableListening(bool enable) {
  LOG(INFO) << "EnableListening(" << OnOff(enable) << ")";
}

void HostAssistantManager::PlayAudioWithFocus(uint16_t id,
                                              OutputStreamType type,
                                              Callback<false, bool> done) {
  LOG(INFO) << "PlayAudioWithFocus(id=" << id
            << ", type=" << static_cast<int>(type) << ")";
  done(true);
}

void HostAssistantManager::StartAssistantInteraction() {
  SystemReactions* system = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    system = system_reactions_.get();
  }
  if (system && system->IsMuted()) {
    LOG(INFO) << "StartAssistantInteraction refused: the microphone is muted";
    return;
  }
  LOG(INFO) << "StartAssistantInteraction: interaction " << ++interactions_;
}

void HostAssistantManager::StopAssistantInteraction() {
  LOG(INFO) << "StopAssistantInteraction()";
}

void HostAssistantManager::StopTopInteraction() {
  LOG(INFO) << "StopTopInteraction()";
}

void HostAssistantManager::StopAllInteractions() {
  LOG(INFO) << "StopAllInteractions()";
}

void HostAssistantManager::StartPresetUpdateInteraction(
    const std::string& preset) {
  LOG(INFO) << "StartPresetUpdateInteraction(" << preset << ")";
}

void HostAssistantManager::StartPresetExecuteInteraction(
    const std::string& preset) {
  LOG(INFO) << "StartPresetExecuteInteraction(" << preset << ")";
}

void HostAssistantManager::SetAuthTokens(
    const std::vector<std::pair<std::string, std::string>>& tokens) {
  // Token values are secrets: only their names reach the log.
  std::string names;
  for (const auto& token : tokens)
    names += (names.empty() ? "" : ", ") + token.first;
  LOG(INFO) << "SetAuthTokens: " << tokens.size() << " token(s) [" << names
            << "]";
}

std::string HostAssistantManager::GetDeviceId() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (device_id_.empty()) {
    if (host_config_)
      device_id_ = OptionalString(*host_config_, "device_id");
    if (device_id_.empty()) {
      const std::string path =
          assistant_reference::GetAssistantRootPath() + "/host/device_id";
      device_id_ = assistant_reference::ReadFile(path, true);
      if (device_id_.empty()) {
        device_id_ = RandomHexId();
        if (!assistant_reference::WriteFile(path, device_id_ + "\n"))
          LOG(WARNING) << "Device id could not be kept in " << path;
      }
    }
  }
  LOG(INFO) << "GetDeviceId: " << device_id_;
  return device_id_;
}

void HostAssistantManager::ResetAllDataAndShutdown() {
  LOG(INFO) << "ResetAllDataAndShutdown()";
}

DebugInterface* HostAssistantManager::GetDebugInterface() {
  return &debug_interface_;
}

MediaManager* HostAssistantManager::GetMediaManager() {
  return &media_manager_;
}

void HostAssistantManager::StopAllTts() {
  LOG(INFO) << "StopAllTts()";
}

}  // namespace vantor_host
