// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/system/system_provider_impl.h"

#include <algorithm>
#include <map>
#include <utility>

#include "core/service_status.h"
#include "platform/utils/file_utils.h"
#include "platform/utils/file_utils_internal.h"
#include "platform/utils/file_watcher.h"

namespace assistant_reference {
namespace {

// The microphone in the service's status line.
const char* MicrophoneWord(int mute_state) {
  return mute_state ? "muted" : "on";
}

using ChangeCallback = assistant_client::Callback<true>;

// What the listeners of one notification read through GetMicMuteState while
// their callbacks ran, on the watch thread. Lives on the notification's
// stack, since a callback may destroy the provider.
struct ListenerReads {
  static constexpr int kNone = -2;
  static constexpr int kMixed = -1;  // Never a state: the next one differs.

  const SystemProviderImpl* provider;
  int state = kNone;  // What every read returned, kNone or kMixed.
  bool provider_destroyed = false;

  void Record(int read) {
    state = state == kNone || state == read ? read : kMixed;
  }
};
thread_local ListenerReads* t_listener_reads = nullptr;

// The watcher's spelling of the state file: one per file, however the
// configuration spells it ("a//b", "./b"), since the watcher takes each
// path once.
std::string WatchPathFor(const std::string& path) {
  return FileWatcher::NormalizePath(path);
}

// One FileWatcher registration per watched path, fanned out to every live
// provider on it. Spellings through links are watched apart, each followed
// by its own name, and share the kernel's watches.
class StateFileWatches {
 public:
  static StateFileWatches* Get() {
    static StateFileWatches* instance = new StateFileWatches();  // Never freed.
    return instance;
  }

  void Add(const std::string& path, SystemProviderImpl* provider) {
    core::AutoLock lock(&mutex_);
    std::vector<SystemProviderImpl*>& providers = providers_[path];
    if (providers.empty()) {
      FileWatcher::GetInstance()->AddWatch(path,
                                           [this, path] { Notify(path); });
    }
    providers.push_back(provider);
  }

  // Once this returns, no notification reaches |provider|.
  void Remove(const std::string& path, SystemProviderImpl* provider) {
    {
      core::AutoLock lock(&mutex_);
      auto it = providers_.find(path);
      if (it != providers_.end()) {
        std::vector<SystemProviderImpl*>& providers = it->second;
        providers.erase(
            std::remove(providers.begin(), providers.end(), provider),
            providers.end());
        if (providers.empty()) {
          providers_.erase(it);
          FileWatcher::GetInstance()->RemoveWatch(path);
        }
      }
    }
    // A notification may have taken its copy of the list before the
    // removal; it runs on the watch thread, which this waits for.
    FileWatcher::GetInstance()->WaitForRunningCallback();
  }

 private:
  StateFileWatches() = default;

  // Watch thread only.
  void Notify(const std::string& path) {
    std::vector<SystemProviderImpl*> providers;
    {
      core::AutoLock lock(&mutex_);
      auto it = providers_.find(path);
      if (it == providers_.end())
        return;
      providers = it->second;
    }
    for (SystemProviderImpl* provider : providers) {
      // An earlier provider's callback may have destroyed this one here, on
      // the watch thread, where the destructor cannot wait. Other threads'
      // destructors wait for this notification to end.
      {
        core::AutoLock lock(&mutex_);
        auto it = providers_.find(path);
        if (it == providers_.end() ||
            std::find(it->second.begin(), it->second.end(), provider) ==
                it->second.end()) {
          continue;
        }
      }
      provider->NotifyAudioInputConfigCallbacks();
    }
  }

  core::Mutex mutex_;  // Guards |providers_|.
  // Watched path to its live providers, in construction order.
  std::map<std::string, std::vector<SystemProviderImpl*>> providers_
      CORE_GUARDED_BY(mutex_);
};

}  // namespace

SystemProviderImpl::SystemProviderImpl(const std::string& config)
    : config_(ConfigAccessor::Parse(config, kPlatformConfigSection)),
      mic_state_path_(config_->GetString(
          kMicStatePathKey,
          GetAssistantRootPath() + state_files::kMicStateFile)),
      watch_path_(WatchPathFor(mic_state_path_)) {
  {
    core::AutoLock lock(&mutex_);
    last_mute_state_ = SystemProviderImpl::GetMicMuteState();
  }
  StateFileWatches::Get()->Add(watch_path_, this);
  // A change between the first read and the watch raised no event; without
  // this read it would be missed until the state changes back.
  int state;
  {
    core::AutoLock lock(&mutex_);
    state = last_mute_state_ = SystemProviderImpl::GetMicMuteState();
  }
  core::ReportServiceStatus("microphone", MicrophoneWord(state));
}

SystemProviderImpl::~SystemProviderImpl() {
  StateFileWatches::Get()->Remove(watch_path_, this);
  if (t_listener_reads && t_listener_reads->provider == this)
    t_listener_reads->provider_destroyed = true;
}

int SystemProviderImpl::GetMicMuteState() {
  const int state =
      ReadStateWord(mic_state_path_) == state_files::kMicMutedWord ? 1 : 0;
  if (t_listener_reads && t_listener_reads->provider == this)
    t_listener_reads->Record(state);
  return state;
}

void SystemProviderImpl::RegisterMicMuteChangeCallback(
    ChangeCallback callback) {
  core::AutoLock lock(&mutex_);
  callbacks_.push_back(std::make_shared<ChangeCallback>(std::move(callback)));
}

void SystemProviderImpl::UpdateTimezoneAndLocale(
    const std::string& /*timezone*/,
    const std::string& /*locale*/) {}

void SystemProviderImpl::ProcessTpm(
    TpmProcessingType /*type*/,
    const std::string& data,
    assistant_client::Callback<false, std::string> callback) {
  callback(data);
}

void SystemProviderImpl::NotifyAudioInputConfigCallbacks() {
  const int state = GetMicMuteState();
  std::vector<std::shared_ptr<ChangeCallback>> callbacks;
  {
    core::AutoLock lock(&mutex_);
    if (state == last_mute_state_)
      return;
    last_mute_state_ = state;
    callbacks = callbacks_;
  }
  core::ReportServiceStatus("microphone", MicrophoneWord(state));
  // Listeners learn the state by reading the file in their callbacks. If the
  // file changed after |state| was read, they may have read another state,
  // whose undoing would then pass for no change: what they read counts.
  ListenerReads reads{this};
  ListenerReads* const outer = std::exchange(t_listener_reads, &reads);
  for (const std::shared_ptr<ChangeCallback>& callback : callbacks)
    (*callback)();
  t_listener_reads = outer;
  // A callback may have destroyed this provider; nothing is left to mend.
  if (reads.provider_destroyed || reads.state == ListenerReads::kNone ||
      reads.state == state) {
    return;
  }
  {
    core::AutoLock lock(&mutex_);
    last_mute_state_ = reads.state;
  }
  core::ReportServiceStatus("microphone", MicrophoneWord(reads.state));
}

}  // namespace assistant_reference
