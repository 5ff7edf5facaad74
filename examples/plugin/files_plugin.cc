// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// An example platform plug-in, built against the installed SDK alone (see
// CMakeLists.txt beside it): a file provider that keeps the assistant's files
// in one folder of the device. The host loads it as libvantor_files.so from
// its plug-in folder, like the system's own plug-ins.
//
// Configuration, section platform_config:
//   files_folder  the folder; default <assistant root>/files
//
// The host's paths name files inside that folder; one that would leave it
// (an absolute path, a ".." component) is refused. Secure files live in
// secure/ below it, readable by this user only, and resource <id> in
// resources/<id>. Every operation may run on any of the host's threads: the
// provider keeps no state but its folder.
#include <dirent.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "core/export.h"
#include "core/logging.h"
#include "core/version.h"
#include "platform/utils/config_accessor.h"
#include "platform/utils/file_utils.h"
#include "prebuilt/lib/assistant_client.h"
#include "prebuilt/lib/plugin_factory.h"

namespace {

constexpr char kSection[] = "platform_config";
constexpr char kFolderKey[] = "files_folder";

// True when |path| stays inside the folder it is taken relative to.
bool IsInside(const std::string& path) {
  if (path.empty() || path[0] == '/')
    return false;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos)
      end = path.size();
    if (path.compare(start, end - start, "..") == 0)
      return false;
    start = end + 1;
  }
  return true;
}

// Like assistant_reference::WriteFile (one rename, so readers never see half
// a file), but empty contents make an empty file rather than none.
bool Replace(const std::string& path, const std::string& data) {
  if (!data.empty())
    return assistant_reference::WriteFile(path, data);
  const std::string temp = path + ".tmp";
  FILE* file = fopen(temp.c_str(), "w");
  if (!file)
    return false;
  fclose(file);
  return rename(temp.c_str(), path.c_str()) == 0;
}

class FilesProvider : public assistant_client::FileProvider {
 public:
  // The folder is made by the first write (mode 0700, as WriteFile makes
  // folders).
  explicit FilesProvider(const std::string& folder) : folder_(folder) {
    LOG(INFO) << "Keeping the assistant's files in " << folder_;
  }

  std::string ReadFile(const std::string& path) override {
    return IsInside(path) ? assistant_reference::ReadFile(Path(path), false)
                          : Refuse(path);
  }
  bool WriteFile(const std::string& path, const std::string& data) override {
    if (!IsInside(path)) {
      Refuse(path);
      return false;
    }
    if (!Replace(Path(path), data)) {
      LOG(WARNING) << "Could not write " << Path(path);
      return false;
    }
    return true;
  }
  std::string ReadSecureFile(const std::string& path) override {
    return ReadFile("secure/" + path);
  }
  bool WriteSecureFile(const std::string& path,
                       const std::string& data) override {
    // WriteFile creates missing folders with mode 0700; make sure this one
    // is private even when it was made by hand.
    mkdir(Path("secure").c_str(), 0700);
    chmod(Path("secure").c_str(), 0700);
    return WriteFile("secure/" + path, data);
  }
  bool GetResource(uint16_t id, std::string* out) override {
    *out = assistant_reference::ReadFile(
        Path("resources/" + std::to_string(id)), false);
    return !out->empty();
  }
  // Removes the files at the top of the folder; secure files and resources
  // stay.
  void CleanAssistantData() override {
    DIR* dir = opendir(folder_.c_str());
    if (!dir)
      return;
    int removed = 0;
    while (dirent* entry = readdir(dir)) {
      struct stat st;
      const std::string path = Path(entry->d_name);
      if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          unlink(path.c_str()) == 0) {
        ++removed;
      }
    }
    closedir(dir);
    LOG(INFO) << "Removed " << removed << " file(s) from " << folder_;
  }

 private:
  std::string Path(const std::string& path) const {
    return folder_ + "/" + path;
  }
  // The answer to a path outside the folder: nothing.
  std::string Refuse(const std::string& path) const {
    LOG(WARNING) << "Refusing path '" << path << "' outside " << folder_;
    return std::string();
  }

  const std::string folder_;
};

// Offers the file provider only; PluginFactory answers null for the other
// kinds and releases the platform wrapper that comes with every request.
class FilesFactory : public assistant_reference::PluginFactory {
 protected:
  assistant_client::FileProvider* MakeFileProvider(
      const std::string& config) override {
    auto settings =
        assistant_reference::ConfigAccessor::Parse(config, kSection);
    return new FilesProvider(settings->GetString(
        kFolderKey, assistant_reference::GetAssistantRootPath() + "/files"));
  }
};

}  // namespace

// The one symbol the host looks for. Slots are only ever appended, so a host
// of this API version or a newer one can use this plug-in; an older one
// cannot.
extern "C" VANTOR_EXPORT C_API_PlatformFactory* NewVantorPlatformEntrypoint(
    int version) {
  if (version < assistant_client::kApiVersion) {
    LOG(WARNING) << "Host API version " << version << " is older than "
                 << assistant_client::kApiVersion << "; not offering files";
    return nullptr;
  }
  LOG(INFO) << "Example files plug-in, SDK " << VANTOR_VERSION_STRING
            << ", host API version " << version;
  return assistant_client::CreatePlatformEntrypoint(version,
                                                    new FilesFactory());
}
