// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/platform/system_reactions.h"

#include <utility>

#include "core/logging.h"
#include "core/synchronization.h"

namespace vantor_host {
namespace {

const char* MuteWord(bool muted) {
  return muted ? "muted" : "unmuted";
}

}  // namespace

struct SystemReactions::Shared {
  // Held while the callback asks the provider and reports, so the
  // destructor, and with it the provider's destruction, waits for a running
  // report.
  core::Mutex mutex;
  // Null once the reactions are gone; the callback then does nothing.
  assistant_client::SystemProvider* provider CORE_GUARDED_BY(mutex) = nullptr;
  MuteChanged changed CORE_GUARDED_BY(mutex);
  bool muted CORE_GUARDED_BY(mutex) = false;  // As last reported.
};

SystemReactions::SystemReactions(assistant_client::SystemProvider* provider,
                                 MuteChanged changed)
    : provider_(provider), shared_(std::make_shared<Shared>()) {
  const bool muted = IsMuted();
  {
    core::AutoLock lock(&shared_->mutex);
    shared_->provider = provider;
    shared_->changed = std::move(changed);
    shared_->muted = muted;
  }
  LOG(INFO) << "Microphone: " << MuteWord(muted);
  provider_->RegisterMicMuteChangeCallback(
      [shared = shared_] {  // Runs on the provider's watch thread.
        core::AutoLock lock(&shared->mutex);
        if (!shared->provider)
          return;
        const bool muted = shared->provider->GetMicMuteState() != 0;
        if (muted == shared->muted)
          return;
        shared->muted = muted;
        LOG(INFO) << "Microphone " << MuteWord(muted);
        if (shared->changed)
          shared->changed(muted);
      });
}

SystemReactions::~SystemReactions() {
  core::AutoLock lock(&shared_->mutex);
  shared_->provider = nullptr;
}

bool SystemReactions::IsMuted() {
  return provider_->GetMicMuteState() != 0;
}

}  // namespace vantor_host
