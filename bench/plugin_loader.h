// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Loads a platform plug-in the way the host library does: dlopen, its
// exported NewVantorPlatformEntrypoint, then the factory's C slots, with the
// providers wrapped by the bridge's …FromC. Benchmarks that use it measure
// the whole plug-in, structure side included.
//
//   bench::Plugin plugin(VANTOR_SYSTEM_PLUGIN);
//   if (!plugin.ok()) return Skip(plugin.error());
//   std::unique_ptr<SystemProvider> provider =
//   plugin.NewSystemProvider(config);
#ifndef BENCH_PLUGIN_LOADER_H_
#define BENCH_PLUGIN_LOADER_H_

#include <memory>
#include <string>

#include "prebuilt/lib/assistant_client.h"
#include "prebuilt/lib/c_api.h"

namespace bench {

class Plugin {
 public:
  // The library stays loaded for the rest of the process, as with the host:
  // a plug-in may leave threads behind.
  explicit Plugin(const std::string& path);
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;
  ~Plugin();  // Destroys the factory; providers made by it stay usable.

  bool ok() const { return factory_ != nullptr; }
  // Why the plug-in could not be loaded; empty when ok().
  const std::string& error() const { return error_; }

  // Null when the plug-in offers no provider of the kind. Deleting a
  // provider releases the plug-in's through its structure.
  std::unique_ptr<assistant_client::SystemProvider> NewSystemProvider(
      const std::string& config);
  std::unique_ptr<assistant_client::NetworkProvider> NewNetworkProvider(
      const std::string& config);

 private:
  C_API_PlatformApi* NewPlatform();

  C_API_PlatformFactory* factory_ = nullptr;
  std::string error_;
};

}  // namespace bench

#endif  // BENCH_PLUGIN_LOADER_H_
