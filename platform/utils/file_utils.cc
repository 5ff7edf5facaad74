#include "platform/utils/file_utils.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "core/logging.h"

namespace assistant_reference {
namespace {

constexpr char kWhitespace[] = "\n\t\r\f ";

std::string GetRootPath() {
  if (const char* xdg = getenv("XDG_CONFIG_HOME"))
    return xdg;
  if (const char* home = getenv("HOME"))
    return std::string(home) + "/.config";
  return "/tmp";
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool MakeParentFolders(const std::string& path) {
  if (FileExists(path))
    return true;
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST)
      return false;
  }
  return true;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) == 0)
    return true;
  LOG(WARNING) << "Failed to rename '" << from << "' to '" << to << "'";
  return false;
}

std::string Trim(std::string text) {
  text.erase(0, text.find_first_not_of(kWhitespace));
  size_t last = text.find_last_not_of(kWhitespace);
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text;
}

// Opens |path| for reading only when it is a regular file. A FIFO or a
// device would block or never end; a folder reads as nothing anyway.
bool OpenRegularFile(const std::string& path, std::ifstream* stream) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return false;
  struct stat st;
  bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  if (!regular)
    return false;
  stream->open(path, std::ios::in | std::ios::binary);
  return stream->is_open();
}

}  // namespace

std::string GetAssistantRootPath() {
  return GetRootPath() + "/vantor-data";
}

std::string ReadFile(const std::string& path, bool trim) {
  std::ifstream in;
  if (!OpenRegularFile(path, &in))
    return std::string();
  std::ostringstream contents;
  contents << in.rdbuf();
  return trim ? Trim(contents.str()) : contents.str();
}

std::string ktl_ReadFile(const std::string& path, bool trim) {
  std::ifstream in;
  if (!OpenRegularFile(path, &in))
    return std::string();
  std::string result;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] != '#')
      result += line;
  }
  return trim ? Trim(result) : result;
}

bool WriteFile(const std::string& path, const std::string& contents) {
  if (contents.empty()) {
    if (!FileExists(path) || remove(path.c_str()) == 0)
      return true;
  }
  if (!MakeParentFolders(path))
    return false;

  const std::string temp = path + ".tmp";
  FILE* file = fopen(temp.c_str(), "wb");
  if (!file)
    return false;
  // A short write (full disk) or a failed flush must not replace good
  // contents; fsync keeps a power cut from leaving an empty file behind the
  // new name.
  bool written =
      fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  written = fflush(file) == 0 && written;
  written = fsync(fileno(file)) == 0 && written;
  written = fclose(file) == 0 && written;
  if (!written) {
    remove(temp.c_str());
    return false;
  }
  return ReplaceFile(temp, path);
}

}  // namespace assistant_reference
