// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The system plug-in's provider: the microphone-mute state, read from a
// one-word state file ("off" means muted) and followed through the
// FileWatcher, so that registered callbacks run as soon as it changes.
//
// Configuration (section "platform_config"): "mic_state_path", by default
// GetAssistantRootPath() + "/assistant/mic_state". Providers on one state
// file share one watch. Time zone and locale are ignored; TPM processing
// echoes its data.
#ifndef PLATFORM_SYSTEM_SYSTEM_PROVIDER_IMPL_H_
#define PLATFORM_SYSTEM_SYSTEM_PROVIDER_IMPL_H_

#include <memory>
#include <string>
#include <vector>

#include "core/synchronization.h"
#include "platform/utils/config_accessor.h"
#include "platform/utils/state_files.h"
#include "prebuilt/lib/system_provider.h"

namespace assistant_reference {

class SystemProviderImpl : public assistant_client::SystemProvider {
 public:
  static constexpr const char* kPlatformConfigSection =
      state_files::kConfigSection;
  static constexpr const char* kMicStatePathKey = state_files::kMicStatePathKey;

  // |config| is the whole configuration text.
  explicit SystemProviderImpl(const std::string& config);
  // Stops the watch and waits for a notification of this provider that is
  // running on the watch thread, so that no callback outlives the provider.
  // Any thread, also inside one of the provider's own callbacks.
  ~SystemProviderImpl() override;

  // Any thread: 1 when the state file holds "off" (trimmed), else 0.
  int GetMicMuteState() override;
  // Any thread. The callback runs on the "FileWatcher" thread after each
  // change of the state.
  void RegisterMicMuteChangeCallback(
      assistant_client::Callback<true> callback) override;
  void UpdateTimezoneAndLocale(const std::string& timezone,
                               const std::string& locale) override;
  // Runs |callback| at once with |data|.
  void ProcessTpm(
      TpmProcessingType type,
      const std::string& data,
      assistant_client::Callback<false, std::string> callback) override;

  // The watch thread's notification: calls the callbacks when the state
  // differs from the last one seen.
  void NotifyAudioInputConfigCallbacks();

  const std::string& mic_state_path() const { return mic_state_path_; }

 private:
  using ChangeCallback = assistant_client::Callback<true>;

  const std::unique_ptr<ConfigAccessor> config_;
  const std::string mic_state_path_;  // As configured.
  const std::string watch_path_;      // Absolute and normalized.

  core::Mutex mutex_;  // Guards the members below.
  // Shared so that a notification runs its copy of the list outside
  // |mutex_|; callbacks are never copied.
  std::vector<std::shared_ptr<ChangeCallback>> callbacks_
      CORE_GUARDED_BY(mutex_);
  // The state the listeners last learnt: the one notified, or what they read
  // in their callbacks when the file changed meanwhile.
  int last_mute_state_ CORE_GUARDED_BY(mutex_) = 0;
};

}  // namespace assistant_reference

#endif  // PLATFORM_SYSTEM_SYSTEM_PROVIDER_IMPL_H_
