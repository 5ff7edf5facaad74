// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/host_assistant_manager.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>

#include "core/eintr_wrapper.h"
#include "core/logging.h"
#include "host/audio/builtin_audio.h"
#include "host/debug/fault_switches.h"
#include "host/plugins/plugin_registry.h"
#include "platform/utils/config_inspector.h"
#include "platform/utils/file_utils.h"

namespace vantor_host {
namespace {

using assistant_reference::ConfigInspector;

using namespace assistant_client;  // NOLINT: a stand-in full of overrides.

std::unique_ptr<assistant_reference::ConfigAccessor> ParseHostConfig(
    const std::string& config) {
  std::string error;
  auto accessor = assistant_reference::ConfigInspector::TryParse(
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
  int fd = HANDLE_EINTR(open("/dev/urandom", O_RDONLY | O_CLOEXEC));
  if (fd >= 0) {
    ssize_t got = HANDLE_EINTR(read(fd, bytes, sizeof(bytes)));
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

const char* OnOff(bool value) {
  return value ? "on" : "off";
}

}  // namespace

HostAssistantManager::HostAssistantManager(const std::string& config,
                                           PlatformApi* platform)
    : config_(config),
      host_config_(ParseHostConfig(config)),
      client_platform_(platform),
      builtin_platform_(
          {[input = OptionalString("audio_input_wav")] {
             return std::make_unique<WavAudioInputProvider>(input);
           },
           [output = OptionalString("audio_output_dir")] {
             return std::make_unique<WavAudioOutputProvider>(output);
           }}),
      scheduler_("VantorHost"),
      media_manager_(&scheduler_, HostMediaManager::DefaultTracks()) {
  LOG(INFO) << "NewAssistantManager: configuration of " << config.size()
            << " bytes, " << (platform ? "client platform" : "no platform");
  conversation_ =
      std::make_unique<Conversation>(ParseScenario(host_config_.get()),
                                     &scheduler_, &listeners_, &media_manager_);
  if (host_config_ &&
      ConfigInspector::HasKey(*host_config_, "debug_http_port")) {
    DebugHttpServer::Options options;
    options.port = host_config_->GetInt("debug_http_port", -1);
    if (ConfigInspector::HasKey(*host_config_, "test_faults") &&
        host_config_->GetBool("test_faults", false)) {
      RegisterFaultSwitches(&debug_interface_, {&mutex_, &answer_delay_ms_});
    }
    debug_interface_.StartServer(options);
  }
}

HostAssistantManager::~HostAssistantManager() {
  // No request may reach the client while it is being let go; then the
  // turns asked for play out, and only then the thread that calls the
  // client stops.
  debug_interface_.StopServer();
  conversation_->Finish();
  scheduler_.Stop();
  LOG(INFO) << "Assistant manager deleted after " << conversation_->accepted()
            << " interaction(s)";
  core::AutoLock lock(&mutex_);
  network_reactions_.reset();
  system_reactions_.reset();
  conversation_.reset();
  plugin_providers_ = PluginProviders();
}

std::string HostAssistantManager::OptionalString(const std::string& key) {
  if (!host_config_ || !ConfigInspector::HasKey(*host_config_, key))
    return "";
  return host_config_->GetString(key, "");
}

void HostAssistantManager::LoadPlatform() {
  {
    core::AutoLock lock(&mutex_);
    if (platform_loaded_)
      return;
    platform_loaded_ = true;
  }
  BuiltinPlatform::Chosen chosen;
  if (client_platform_) {
    LOG(INFO) << "Using the client's platform for every provider";
    chosen.audio_input = client_platform_->GetAudioInputProvider();
    chosen.audio_output = client_platform_->GetAudioOutputProvider();
    chosen.auth = client_platform_->GetAuthProvider();
    chosen.file = client_platform_->GetFileProvider();
    chosen.network = client_platform_->GetNetworkProvider();
    chosen.system = client_platform_->GetSystemProvider();
  } else if (host_config_) {
    const std::string folder = FindPluginFolder(OptionalString("plugin_dir"));
    LOG(INFO) << "Loading plug-ins from " << folder;
    PluginProviders providers =
        CollectProviders(LoadPlugins(folder), config_, &builtin_platform_);
    chosen.audio_input = providers.audio_input.get();
    chosen.audio_output = providers.audio_output.get();
    chosen.auth = providers.auth.get();
    chosen.file = providers.file.get();
    chosen.network = providers.network.get();
    chosen.system = providers.system.get();
    core::AutoLock lock(&mutex_);
    plugin_providers_ = std::move(providers);
  }
  builtin_platform_.Choose(chosen);

  // Only a provider that someone brought has something to react to.
  auto network_reactions =
      chosen.network && host_config_
          ? std::make_unique<NetworkReactions>(chosen.network, *host_config_,
                                               GetDeviceId())
          : nullptr;
  Conversation* conversation = conversation_.get();
  auto system_reactions =
      chosen.system
          ? std::make_unique<SystemReactions>(
                chosen.system,
                [conversation](bool muted) { conversation->MicMuted(muted); })
          : nullptr;
  SystemReactions* mute = system_reactions.get();
  conversation_->SetPlatform(builtin_platform_.GetAudioInputProvider(),
                             builtin_platform_.GetAudioOutputProvider(),
                             [mute] { return mute && mute->IsMuted(); });
  core::AutoLock lock(&mutex_);
  network_reactions_ = std::move(network_reactions);
  system_reactions_ = std::move(system_reactions);
}

void HostAssistantManager::Start() {
  LOG(INFO) << "Start()";
  LoadPlatform();
  conversation_->Started(Callback<false>());
}

void HostAssistantManager::Start(Callback<false> done) {
  LOG(INFO) << "Start(done)";
  LoadPlatform();
  conversation_->Started(std::move(done));
}

void HostAssistantManager::RegisterDeviceActionHandler(
    DeviceActionHandler* handler) {
  const size_t count =
      listeners_.Add(std::unique_ptr<DeviceActionHandler>(handler));
  LOG(INFO) << "RegisterDeviceActionHandler: " << count << " handler(s)";
}

void HostAssistantManager::AddConversationStateListener(
    ConversationStateListener* listener) {
  LOG(INFO) << "AddConversationStateListener: " << listeners_.Add(listener)
            << " listener(s)";
}

void HostAssistantManager::AddDeviceStateListener(
    DeviceStateListener* listener) {
  LOG(INFO) << "AddDeviceStateListener: " << listeners_.Add(listener)
            << " listener(s)";
}

void HostAssistantManager::EnableListening(bool enable) {
  LOG(INFO) << "EnableListening(" << OnOff(enable) << ")";
  conversation_->EnableListening(enable);
}

void HostAssistantManager::PlayAudioWithFocus(uint16_t id,
                                              OutputStreamType type,
                                              Callback<false, bool> done) {
  LOG(INFO) << "PlayAudioWithFocus(id=" << id
            << ", type=" << static_cast<int>(type) << ")";
  done(true);
}

void HostAssistantManager::StartAssistantInteraction() {
  conversation_->RequestTurn();
}

void HostAssistantManager::StopAssistantInteraction() {
  LOG(INFO) << "StopAssistantInteraction()";
  conversation_->StopTurn();
}

void HostAssistantManager::StopTopInteraction() {
  LOG(INFO) << "StopTopInteraction()";
  conversation_->StopTop();
}

void HostAssistantManager::StopAllInteractions() {
  LOG(INFO) << "StopAllInteractions()";
  conversation_->StopAll();
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
  core::AutoLock lock(&mutex_);
  if (const int delay = answer_delay_ms_.load(std::memory_order_relaxed))
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  // Once per process: a supervisor may ask every few seconds.
  if (device_id_.empty()) {
    if (host_config_ && ConfigInspector::HasKey(*host_config_, "device_id"))
      device_id_ = host_config_->GetString("device_id", "");
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
    LOG(INFO) << "GetDeviceId: " << device_id_;
  }
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
  conversation_->StopReply();
}

}  // namespace vantor_host
