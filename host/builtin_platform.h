// The stand-in host's own platform: simple providers for every kind, so a
// PlatformApi getter never answers null (a null answer is fatal on both
// sides of the bridge). Plug-in providers, once loaded, take precedence.
#ifndef HOST_BUILTIN_PLATFORM_H_
#define HOST_BUILTIN_PLATFORM_H_

#include <memory>

#include "prebuilt/lib/assistant_client.h"

namespace vantor_host {

class BuiltinPlatform : public assistant_client::PlatformApi {
 public:
  BuiltinPlatform();
  ~BuiltinPlatform() override;

  // Providers that answer instead of the built-in ones; borrowed, may be null.
  void SetNetworkProvider(assistant_client::NetworkProvider* provider);
  void SetSystemProvider(assistant_client::SystemProvider* provider);

  assistant_client::AudioInputProvider* GetAudioInputProvider() override;
  assistant_client::AudioOutputProvider* GetAudioOutputProvider() override;
  assistant_client::AuthProvider* GetAuthProvider() override;
  assistant_client::FileProvider* GetFileProvider() override;
  assistant_client::NetworkProvider* GetNetworkProvider() override;
  assistant_client::SystemProvider* GetSystemProvider() override;

 private:
  std::unique_ptr<assistant_client::AudioInputProvider> audio_input_;
  std::unique_ptr<assistant_client::AudioOutputProvider> audio_output_;
  std::unique_ptr<assistant_client::AuthProvider> auth_;
  std::unique_ptr<assistant_client::FileProvider> file_;
  std::unique_ptr<assistant_client::NetworkProvider> network_;
  std::unique_ptr<assistant_client::SystemProvider> system_;
  assistant_client::NetworkProvider* network_override_ = nullptr;
  assistant_client::SystemProvider* system_override_ = nullptr;
};

}  // namespace vantor_host

#endif  // HOST_BUILTIN_PLATFORM_H_
