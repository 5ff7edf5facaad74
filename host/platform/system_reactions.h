// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the stand-in host does with its system provider, as a real host
// would: reports the microphone state, follows its changes, and refuses
// interactions while the microphone is muted.
#ifndef HOST_PLATFORM_SYSTEM_REACTIONS_H_
#define HOST_PLATFORM_SYSTEM_REACTIONS_H_

#include <functional>
#include <memory>

#include "prebuilt/lib/system_provider.h"

namespace vantor_host {

class SystemReactions {
 public:
  // Runs with the new state once per change, on the provider's thread.
  using MuteChanged = std::function<void(bool muted)>;

  // |provider| is borrowed and outlives this object; it keeps the change
  // callback registered here, which may run after this object is gone.
  // |changed| runs for every change of the state the provider reports (a
  // report of the state as it was is no change).
  SystemReactions(assistant_client::SystemProvider* provider,
                  MuteChanged changed);
  SystemReactions(const SystemReactions&) = delete;
  SystemReactions& operator=(const SystemReactions&) = delete;
  // Detaches the change callback.
  ~SystemReactions();

  // Whether interactions must be refused now. Any thread.
  bool IsMuted();

 private:
  // Shared with the change callback, which outlives this object.
  struct Shared;

  assistant_client::SystemProvider* const provider_;
  const std::shared_ptr<Shared> shared_;
};

}  // namespace vantor_host

#endif  // HOST_PLATFORM_SYSTEM_REACTIONS_H_
