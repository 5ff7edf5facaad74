#include "bench/plugin_loader.h"

#include <dlfcn.h>

#include "prebuilt/lib/api_wrappers.h"

namespace bench {
namespace {

namespace internal_api = assistant_client::internal_api;

// The plug-ins ignore the platform bundle that comes with each request, but
// the factory needs one.
class NoPlatform : public assistant_client::PlatformApi {
 public:
  assistant_client::AudioInputProvider* GetAudioInputProvider() override {
    return nullptr;
  }
  assistant_client::AudioOutputProvider* GetAudioOutputProvider() override {
    return nullptr;
  }
  assistant_client::AuthProvider* GetAuthProvider() override { return nullptr; }
  assistant_client::FileProvider* GetFileProvider() override { return nullptr; }
  assistant_client::NetworkProvider* GetNetworkProvider() override {
    return nullptr;
  }
  assistant_client::SystemProvider* GetSystemProvider() override {
    return nullptr;
  }
};

NoPlatform* GetNoPlatform() {
  static NoPlatform* platform = new NoPlatform();  // Borrowed by plug-ins.
  return platform;
}

}  // namespace

Plugin::Plugin(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    error_ = dlerror();
    return;
  }
  using Entry = C_API_PlatformFactory* (*)(int);
  auto entry =
      reinterpret_cast<Entry>(dlsym(handle, "NewVantorPlatformEntrypoint"));
  if (!entry) {
    error_ = path + " exports no NewVantorPlatformEntrypoint";
    return;
  }
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
