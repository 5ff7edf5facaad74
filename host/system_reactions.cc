#include "host/system_reactions.h"

#include <mutex>

#include "core/logging.h"

namespace vantor_host {
namespace {

const char* MuteWord(bool muted) {
  return muted ? "muted" : "unmuted";
}

}  // namespace

struct SystemReactions::Shared {
  std::mutex mutex;
  // Null once the reactions are gone; the callback then does nothing. Held
  // while the callback asks the provider, so the destructor, and with it
  // the provider's destruction, waits for a running change report.
  assistant_client::SystemProvider* provider = nullptr;
};

SystemReactions::SystemReactions(assistant_client::SystemProvider* provider)
    : provider_(provider), shared_(std::make_shared<Shared>()) {
  shared_->provider = provider;
  LOG(INFO) << "Microphone: " << MuteWord(IsMuted());
  provider_->RegisterMicMuteChangeCallback(
      [shared = shared_] {  // Runs on the provider's watch thread.
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (!shared->provider)
          return;
        LOG(INFO) << "Microphone "
                  << MuteWord(shared->provider->GetMicMuteState() != 0);
      });
}

SystemReactions::~SystemReactions() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->provider = nullptr;
}

bool SystemReactions::IsMuted() {
  return provider_->GetMicMuteState() != 0;
}

}  // namespace vantor_host
