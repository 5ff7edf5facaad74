// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "bench/plugin_loader.h"

#include "prebuilt/lib/api_wrappers.h"
#include "testing/plugin_loader.h"

namespace bench {
namespace {

namespace internal_api = assistant_client::internal_api;

testing_support::NullPlatform* GetNoPlatform() {
  // Borrowed by the plug-ins, which never read it.
  static auto* platform = new testing_support::NullPlatform();
  return platform;
}

}  // namespace

Plugin::Plugin(const std::string& path) {
  testing_support::PlatformEntrypoint entry =
      testing_support::LoadPlatformEntrypoint(path, &error_);
  if (!entry)
    return;
  factory_ = entry(internal_api::kApiVersion);
  if (!factory_)
    error_ = path + ": NewVantorPlatformEntrypoint returned null";
}

Plugin::~Plugin() {
  if (factory_)
    factory_->Destroy(factory_);
}

C_API_PlatformApi* Plugin::NewPlatform() {
  return internal_api::PlatformApiToC(
      GetNoPlatform(), internal_api::GetImplApiVersion(factory_));
}

std::unique_ptr<assistant_client::SystemProvider> Plugin::NewSystemProvider(
    const std::string& config) {
  C_API_SystemProvider* c = factory_->NewSystemProvider(
      factory_, internal_api::StringToC(config), NewPlatform());
  if (!c)
    return nullptr;
  return std::unique_ptr<assistant_client::SystemProvider>(
      internal_api::SystemProviderFromC(c));
}

std::unique_ptr<assistant_client::NetworkProvider> Plugin::NewNetworkProvider(
    const std::string& config) {
  C_API_NetworkProvider* c = factory_->NewNetworkProvider(
      factory_, internal_api::StringToC(config), NewPlatform());
  if (!c)
    return nullptr;
  return std::unique_ptr<assistant_client::NetworkProvider>(
      internal_api::NetworkProviderFromC(c));
}

}  // namespace bench
