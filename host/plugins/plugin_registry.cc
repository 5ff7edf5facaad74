// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/plugins/plugin_registry.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>

#include "core/logging.h"
#include "core/synchronization.h"
#include "core/version.h"
#include "prebuilt/lib/api_wrappers.h"

namespace vantor_host {
namespace {

constexpr char kEntryPoint[] = "NewVantorPlatformEntrypoint";
constexpr char kPrefix[] = "libvantor_";
constexpr char kSuffix[] = ".so";

bool IsPluginName(const std::string& name) {
  const std::string prefix = kPrefix, suffix = kSuffix;
  return name.size() > prefix.size() + suffix.size() &&
         name.compare(0, prefix.size(), prefix) == 0 &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string FolderOfThisLibrary() {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&FolderOfThisLibrary), &info) ||
      !info.dli_fname) {
    return ".";
  }
  std::string path = info.dli_fname;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Loaded libraries by path; entries stay for the life of the process.
struct Loaded {
  core::Mutex mutex;
  std::map<std::string, Plugin> by_path CORE_GUARDED_BY(mutex);
};

Loaded& GetLoaded() {
  static Loaded* loaded = new Loaded();  // Never destroyed, like the libraries.
  return *loaded;
}

}  // namespace

std::string FindPluginFolder(const std::string& configured) {
  if (const char* env = getenv("VANTOR_PLUGIN_DIR"); env && *env)
    return env;
  if (!configured.empty())
    return configured;
  return FolderOfThisLibrary() + "/vantor-plugins";
}

std::vector<Plugin> LoadPlugins(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    errno = 0;
    while (dirent* entry = readdir(dir)) {
      if (IsPluginName(entry->d_name))
        names.push_back(entry->d_name);
    }
    if (errno != 0) {
      LOG(WARNING) << "Plug-in folder " << folder
                   << " cannot be listed: " << strerror(errno);
    }
    closedir(dir);
  } else {
    LOG(WARNING) << "Plug-in folder " << folder << " cannot be read";
    return {};
  }
  std::sort(names.begin(), names.end());

  std::vector<Plugin> plugins;
  Loaded& loaded = GetLoaded();
  core::AutoLock lock(&loaded.mutex);
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    auto it = loaded.by_path.find(path);
    if (it == loaded.by_path.end()) {
      // RTLD_LOCAL: each plug-in carries its own copy of the bridge and
      // the runtime, which must not resolve against another's.
      void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) {
        LOG(WARNING) << "Plug-in " << path << " failed to load: " << dlerror();
        continue;
      }
      auto* entry =
          reinterpret_cast<void* (*)(int)>(dlsym(handle, kEntryPoint));
      if (!entry) {
        LOG(WARNING) << "Plug-in " << path << " has no " << kEntryPoint;
        continue;  // Left loaded: unloading code we ran is never safe.
      }
      it = loaded.by_path.emplace(path, Plugin{name, entry}).first;
      LOG(INFO) << "Loaded plug-in " << path << " (vantor " << core::kVersion
                << ", host API version "
                << assistant_client::internal_api::kApiVersion << ")";
    }
    plugins.push_back(it->second);
  }
  return plugins;
}

std::unique_ptr<assistant_client::PlatformFactory> NewFactory(
    const Plugin& plugin) {
  void* entry =
      plugin.new_entrypoint(assistant_client::internal_api::kApiVersion);
  if (!entry) {
    LOG(WARNING) << "Plug-in " << plugin.name << " returned no factory";
    return nullptr;
  }
  return std::unique_ptr<assistant_client::PlatformFactory>(
      assistant_client::internal_api::NewPlatformFactoryForEntrypoint(entry));
}

namespace {

// Keeps the first offer of a kind in |*kept|, naming its plug-in in
// |*origin|; a later one is released at once.
template <typename Provider>
void Keep(Provider* offer,
          const char* kind,
          const std::string& plugin,
          std::unique_ptr<Provider>* kept,
          std::string* origin) {
  if (!offer)
    return;
  std::unique_ptr<Provider> owned(offer);
  if (*kept) {
    LOG(WARNING) << "Plug-in " << plugin << " also provides the " << kind
                 << " provider; using the one of " << *origin
                 << " (the first in file-name order)";
    return;
  }
  LOG(INFO) << "Plug-in " << plugin << " provides the " << kind << " provider";
  *kept = std::move(owned);
  *origin = plugin;
}

}  // namespace

PluginProviders CollectProviders(const std::vector<Plugin>& plugins,
                                 const std::string& config,
                                 assistant_client::PlatformApi* platform) {
  PluginProviders providers;
  std::string auth, audio_input, audio_output, file, network, system;
  for (const Plugin& plugin : plugins) {
    std::unique_ptr<assistant_client::PlatformFactory> factory =
        NewFactory(plugin);
    if (!factory)
      continue;
    const std::string& name = plugin.name;
    Keep(factory->NewAuthProvider(config, platform), "auth", name,
         &providers.auth, &auth);
    Keep(factory->NewAudioInputProvider(config, platform), "audio input", name,
         &providers.audio_input, &audio_input);
    Keep(factory->NewAudioOutputProvider(config, platform), "audio output",
         name, &providers.audio_output, &audio_output);
    Keep(factory->NewFileProvider(config, platform), "file", name,
         &providers.file, &file);
    Keep(factory->NewNetworkProvider(config, platform), "network", name,
         &providers.network, &network);
    Keep(factory->NewSystemProvider(config, platform), "system", name,
         &providers.system, &system);
  }
  return providers;
}

}  // namespace vantor_host
