// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "testing/plugin_loader.h"

#include <dlfcn.h>

namespace testing_support {

PlatformEntrypoint LoadPlatformEntrypoint(const std::string& path,
                                          std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    *error = dlerror();
    return nullptr;
  }
  auto entry = reinterpret_cast<PlatformEntrypoint>(
      dlsym(handle, "NewVantorPlatformEntrypoint"));
  if (!entry)
    *error = path + " exports no NewVantorPlatformEntrypoint";
  return entry;
}

assistant_client::AudioInputProvider* NullPlatform::GetAudioInputProvider() {
  return nullptr;
}
assistant_client::AudioOutputProvider* NullPlatform::GetAudioOutputProvider() {
  return nullptr;
}
assistant_client::AuthProvider* NullPlatform::GetAuthProvider() {
  return nullptr;
}
assistant_client::FileProvider* NullPlatform::GetFileProvider() {
  return nullptr;
}
assistant_client::NetworkProvider* NullPlatform::GetNetworkProvider() {
  return nullptr;
}
assistant_client::SystemProvider* NullPlatform::GetSystemProvider() {
  return nullptr;
}

}  // namespace testing_support
