// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The stand-in host's platform: the provider of each kind that the host
// uses, and what plug-ins are handed with each request. It answers the
// client's or a plug-in's provider where one was chosen and its own simple
// one otherwise, so a getter never answers null (a null answer is fatal on
// both sides of the bridge). Its audio comes from its owner, which ties
// the host's audio to it.
#ifndef HOST_PLATFORM_BUILTIN_PLATFORM_H_
#define HOST_PLATFORM_BUILTIN_PLATFORM_H_

#include <functional>
#include <memory>
#include <string>

#include "core/synchronization.h"
#include "prebuilt/lib/assistant_client.h"

namespace vantor_host {

class BuiltinPlatform : public assistant_client::PlatformApi {
 public:
  // Providers that answer instead of the built-in ones; borrowed, each may
  // be null.
  struct Chosen {
    assistant_client::AudioInputProvider* audio_input = nullptr;
    assistant_client::AudioOutputProvider* audio_output = nullptr;
    assistant_client::AuthProvider* auth = nullptr;
    assistant_client::FileProvider* file = nullptr;
    assistant_client::NetworkProvider* network = nullptr;
    assistant_client::SystemProvider* system = nullptr;
  };

  // Make the built-in audio providers, on first use; each may be empty
  // when every request will be answered by a chosen provider.
  struct AudioMakers {
    std::function<std::unique_ptr<assistant_client::AudioInputProvider>()>
        input;
    std::function<std::unique_ptr<assistant_client::AudioOutputProvider>()>
        output;
  };

  explicit BuiltinPlatform(AudioMakers audio);
  ~BuiltinPlatform() override;

  void Choose(const Chosen& chosen);

  assistant_client::AudioInputProvider* GetAudioInputProvider() override;
  assistant_client::AudioOutputProvider* GetAudioOutputProvider() override;
  assistant_client::AuthProvider* GetAuthProvider() override;
  assistant_client::FileProvider* GetFileProvider() override;
  assistant_client::NetworkProvider* GetNetworkProvider() override;
  assistant_client::SystemProvider* GetSystemProvider() override;

 private:
  const AudioMakers audio_;
  std::unique_ptr<assistant_client::AuthProvider> auth_;
  std::unique_ptr<assistant_client::FileProvider> file_;
  std::unique_ptr<assistant_client::NetworkProvider> network_;
  std::unique_ptr<assistant_client::SystemProvider> system_;

  core::Mutex mutex_;
  Chosen chosen_ CORE_GUARDED_BY(mutex_);
  // Made on first use: the input's thread and the output's file should not
  // exist where a client or plug-in brings its own audio.
  std::unique_ptr<assistant_client::AudioInputProvider> audio_input_
      CORE_GUARDED_BY(mutex_);
  std::unique_ptr<assistant_client::AudioOutputProvider> audio_output_
      CORE_GUARDED_BY(mutex_);
};

}  // namespace vantor_host

#endif  // HOST_PLATFORM_BUILTIN_PLATFORM_H_
