// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Finds and loads the platform plug-ins (libvantor_*.so) the way a host
// library does: dlopen, then the exported NewVantorPlatformEntrypoint.
//
// Libraries are loaded once per process and never unloaded: a plug-in's
// threads may outlive the factory and providers it made.
#ifndef HOST_PLUGINS_PLUGIN_REGISTRY_H_
#define HOST_PLUGINS_PLUGIN_REGISTRY_H_

#include <memory>
#include <string>
#include <vector>

#include "prebuilt/lib/platform_api.h"
#include "prebuilt/lib/platform_factory.h"

namespace vantor_host {

struct Plugin {
  std::string name;  // File name, e.g. libvantor_system.so.
  void* (*new_entrypoint)(int version);
};

// The plug-in folder: $VANTOR_PLUGIN_DIR, else |configured| when non-empty,
// else "vantor-plugins" beside the library that contains this code.
std::string FindPluginFolder(const std::string& configured);

// Loads every libvantor_*.so of |folder| (sorted by name), at most once per
// path. A missing folder, a library that fails to load or lacks the entry
// point each log one WARNING and are skipped. Thread-safe.
std::vector<Plugin> LoadPlugins(const std::string& folder);

// A new factory of |plugin|; owned by the caller.
std::unique_ptr<assistant_client::PlatformFactory> NewFactory(
    const Plugin& plugin);

// One provider of each kind from the plug-ins. The plug-ins are asked in the
// order given (LoadPlugins: file names in byte order), every plug-in for
// every kind, and the first offer of a kind wins: each later one is
// released at once, after a WARNING that names both plug-ins.
struct PluginProviders {
  std::unique_ptr<assistant_client::AuthProvider> auth;
  std::unique_ptr<assistant_client::AudioInputProvider> audio_input;
  std::unique_ptr<assistant_client::AudioOutputProvider> audio_output;
  std::unique_ptr<assistant_client::FileProvider> file;
  std::unique_ptr<assistant_client::NetworkProvider> network;
  std::unique_ptr<assistant_client::SystemProvider> system;
};
// |platform| (borrowed) goes with every request and must outlive the
// providers.
PluginProviders CollectProviders(const std::vector<Plugin>& plugins,
                                 const std::string& config,
                                 assistant_client::PlatformApi* platform);

}  // namespace vantor_host

#endif  // HOST_PLUGINS_PLUGIN_REGISTRY_H_
