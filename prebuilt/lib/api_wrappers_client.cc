// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The client's way into the host library: everything here calls the host's
// exported NewVantorEntrypoint, so only clients link this object.
#include <memory>

#include "prebuilt/lib/api_wrappers.h"
#include "prebuilt/lib/wrapper_base.h"

namespace assistant_client {
namespace {

using internal_api::VantorEntrypoint;

// Each entry function makes and releases its own entry point.
std::unique_ptr<VantorEntrypoint> CreateVantorEntrypoint() {
  C_API_VantorEntrypoint* entry =
      NewVantorEntrypoint(internal_api::kApiVersion);
  VANTOR_API_ASSERT(entry);
  return std::unique_ptr<VantorEntrypoint>(
      internal_api::VantorEntrypointFromC(entry));
}

template <typename Provider,
          Provider* (PlatformFactory::*New)(const std::string&, PlatformApi*)>
Provider* LoadProvider(const std::string& config, PlatformApi* platform) {
  std::unique_ptr<VantorEntrypoint> entry = CreateVantorEntrypoint();
  std::unique_ptr<PlatformFactory> factory(entry->NewPlatformLoader());
  VANTOR_API_ASSERT(factory);
  Provider* provider = (factory.get()->*New)(config, platform);
  factory.reset();  // The factory goes before the entry point that made it.
  entry.reset();
  return provider;
}

}  // namespace

AssistantManager* AssistantManager::Create(PlatformApi* platform,
                                           const std::string& config) {
  std::unique_ptr<VantorEntrypoint> entry = CreateVantorEntrypoint();
  AssistantManager* manager = entry->NewAssistantManager(config, platform);
  VANTOR_API_ASSERT(manager);
  return manager;
}

AssistantManagerInternal* UnwrapAssistantManagerInternal(
    AssistantManager* manager) {
  VANTOR_API_ASSERT(manager);
  AssistantManagerInternal* internal =
      CreateVantorEntrypoint()->GetAssistantManagerInternal(manager);
  VANTOR_API_ASSERT(internal);
  return internal;
}

AudioInputProvider* LoadAudioInputProvider(const std::string& config,
                                           PlatformApi* platform) {
  return LoadProvider<AudioInputProvider,
                      &PlatformFactory::NewAudioInputProvider>(config,
                                                               platform);
}

AudioOutputProvider* LoadAudioOutputProvider(const std::string& config,
                                             PlatformApi* platform) {
  return LoadProvider<AudioOutputProvider,
                      &PlatformFactory::NewAudioOutputProvider>(config,
                                                                platform);
}

AuthProvider* LoadAuthProvider(const std::string& config,
                               PlatformApi* platform) {
  return LoadProvider<AuthProvider, &PlatformFactory::NewAuthProvider>(
      config, platform);
}

FileProvider* LoadFileProvider(const std::string& config,
                               PlatformApi* platform) {
  return LoadProvider<FileProvider, &PlatformFactory::NewFileProvider>(
      config, platform);
}

NetworkProvider* LoadNetworkProvider(const std::string& config,
                                     PlatformApi* platform) {
  return LoadProvider<NetworkProvider, &PlatformFactory::NewNetworkProvider>(
      config, platform);
}

SystemProvider* LoadSystemProvider(const std::string& config,
                                   PlatformApi* platform) {
  return LoadProvider<SystemProvider, &PlatformFactory::NewSystemProvider>(
      config, platform);
}

}  // namespace assistant_client
