// Finds and loads the platform plug-ins (libvantor_*.so) the way a host
// library does: dlopen, then the exported NewVantorPlatformEntrypoint.
//
// Libraries are loaded once per process and never unloaded: a plug-in's
// threads may outlive the factory and providers it made.
#ifndef HOST_PLUGIN_REGISTRY_H_
#define HOST_PLUGIN_REGISTRY_H_

#include <memory>
#include <string>
#include <vector>

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

}  // namespace vantor_host

#endif  // HOST_PLUGIN_REGISTRY_H_
