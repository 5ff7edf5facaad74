// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// One running assistant, made by the host library.
//
//   std::unique_ptr<AssistantManager> manager(
//       AssistantManager::Create(/*platform=*/nullptr, config_text));
//   manager->EnableListening(true);
//   manager->Start();
//   manager->StartAssistantInteraction();
//
// Deleting the manager shuts the assistant down. Operations may be called
// from any thread; callbacks and listener calls arrive on the host library's
// threads.
//
// The Load*Provider functions ask the host library's own platform for one
// provider each, for integrators that only replace some of the providers.
#ifndef PREBUILT_LIB_ASSISTANT_MANAGER_H_
#define PREBUILT_LIB_ASSISTANT_MANAGER_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/export.h"
#include "prebuilt/lib/audio_output.h"
#include "prebuilt/lib/callback.h"

namespace assistant_client {

class AudioInputProvider;
class AudioOutputProvider;
class AuthProvider;
class ConversationStateListener;
class DebugInterface;
class DeviceActionHandler;
class DeviceStateListener;
class FileProvider;
class MediaManager;
class NetworkProvider;
class PlatformApi;
class SystemProvider;

// The host library's own manager object; opaque here.
class AssistantManagerInternal;

class AssistantManager {
 public:
  // Never returns null; the caller owns the result. |platform| is borrowed
  // and must outlive the manager; it may be null.
  VANTOR_EXPORT static AssistantManager* Create(PlatformApi* platform,
                                                const std::string& config);

  AssistantManager() = default;
  AssistantManager(const AssistantManager&) = delete;
  AssistantManager& operator=(const AssistantManager&) = delete;
  virtual ~AssistantManager() = default;

  virtual void Start() = 0;
  // |done| runs at most once, when the assistant has started.
  virtual void Start(Callback<false> done) = 0;
  // |handler| passes to the manager.
  virtual void RegisterDeviceActionHandler(DeviceActionHandler* handler) = 0;
  // |listener| is borrowed and must outlive the manager.
  virtual void AddConversationStateListener(
      ConversationStateListener* listener) = 0;
  // |listener| is borrowed and must outlive the manager.
  virtual void AddDeviceStateListener(DeviceStateListener* listener) = 0;
  virtual void EnableListening(bool enable) = 0;
  // |done| runs at most once with whether the sound was played.
  virtual void PlayAudioWithFocus(uint16_t id,
                                  OutputStreamType type,
                                  Callback<false, bool> done) = 0;
  virtual void StartAssistantInteraction() = 0;
  virtual void StopAssistantInteraction() = 0;
  virtual void StopTopInteraction() = 0;
  virtual void StopAllInteractions() = 0;
  virtual void StartPresetUpdateInteraction(const std::string& preset) = 0;
  virtual void StartPresetExecuteInteraction(const std::string& preset) = 0;
  virtual void SetAuthTokens(
      const std::vector<std::pair<std::string, std::string>>& tokens) = 0;
  virtual std::string GetDeviceId() = 0;
  virtual void ResetAllDataAndShutdown() = 0;
  // Owned by the manager; the same object at every call.
  virtual DebugInterface* GetDebugInterface() = 0;
  // Owned by the manager; the same object at every call.
  virtual MediaManager* GetMediaManager() = 0;
  virtual void StopAllTts() = 0;
};

// Never returns null; the result belongs to the host library. |manager| must
// be one that AssistantManager::Create() returned.
VANTOR_EXPORT AssistantManagerInternal* UnwrapAssistantManagerInternal(
    AssistantManager* manager);

// Each returns a new provider owned by the caller, or null when the host
// library offers none of that kind. |platform| is borrowed and never null.
VANTOR_EXPORT AudioInputProvider* LoadAudioInputProvider(
    const std::string& config,
    PlatformApi* platform);
VANTOR_EXPORT AudioOutputProvider* LoadAudioOutputProvider(
    const std::string& config,
    PlatformApi* platform);
VANTOR_EXPORT AuthProvider* LoadAuthProvider(const std::string& config,
                                             PlatformApi* platform);
VANTOR_EXPORT FileProvider* LoadFileProvider(const std::string& config,
                                             PlatformApi* platform);
VANTOR_EXPORT NetworkProvider* LoadNetworkProvider(const std::string& config,
                                                   PlatformApi* platform);
VANTOR_EXPORT SystemProvider* LoadSystemProvider(const std::string& config,
                                                 PlatformApi* platform);

}  // namespace assistant_client

#endif  // PREBUILT_LIB_ASSISTANT_MANAGER_H_
