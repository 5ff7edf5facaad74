// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// vantor-state: sets or prints the state files that the plug-ins read, for
// the device services that own them (a network manager hook, a mute button).
//
//   vantor-state [--config FILE] connection [WORD]   (or: network [WORD])
//   vantor-state [--config FILE] mic [on|off]
//   vantor-state [--config FILE] path connection|network|mic
//   vantor-state --version
//
// The configuration is the assistant's own (--config, else $VANTOR_CONFIG):
// the paths come from its platform_config section with the plug-ins' defaults,
// so the tool and the plug-ins cannot disagree on where a file lives. A word
// is written through WriteFile (one rename), so a watcher sees one change.
//
// Exit status: 0 done, 1 the configuration or the file failed, 2 usage (an
// unknown word or command). Every failure is one line on stderr and leaves
// the state file as it was.
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "core/logging.h"
#include "core/version.h"
#include "platform/utils/config_accessor.h"
#include "platform/utils/config_inspector.h"
#include "platform/utils/file_status.h"
#include "platform/utils/file_utils.h"
#include "platform/utils/state_files.h"

namespace {

constexpr char kProgram[] = "vantor-state";
// What device makers also call the connection status.
constexpr char kConnectionSynonym[] = "network";
constexpr const char* kSection =
    assistant_reference::state_files::kConfigSection;

constexpr char kSeeHelp[] = " (see --help)";

constexpr int kFailed = 1;
constexpr int kUsage = 2;

// One state file as the plug-in that reads it understands it.
struct StateFile {
  const char* command;
  const char* key;
  const char* default_suffix;  // Behind GetAssistantRootPath().
  std::vector<std::string> words;
  // What the plug-in makes of |contents| (already trimmed).
  std::string (*interpret)(const std::string& contents);
};

namespace files = assistant_reference::state_files;

// The provider maps any text but its words to UNKNOWN, so UNKNOWN is a word
// that may be written too.
std::string InterpretConnection(const std::string& contents) {
  for (const char* word : files::kConnectionWords) {
    if (contents == word)
      return word;
  }
  return "UNKNOWN";
}

std::vector<std::string> ConnectionWords() {
  std::vector<std::string> words = {"UNKNOWN"};
  for (const char* word : files::kConnectionWords)
    words.push_back(word);
  return words;
}

// Only the muted word mutes; anything else, no file included, leaves the
// mic on.
std::string InterpretMic(const std::string& contents) {
  return contents == files::kMicMutedWord ? "off" : "on";
}

const StateFile kConnection = {"connection", files::kConnectionStatusPathKey,
                               files::kConnectionStatusFile, ConnectionWords(),
                               &InterpretConnection};

const StateFile kMic = {"mic",
                        files::kMicStatePathKey,
                        files::kMicStateFile,
                        {"on", files::kMicMutedWord},
                        &InterpretMic};

int Fail(int status, const std::string& message) {
  fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return status;
}

void PrintUsage() {
  printf(
      "usage: %s [--config FILE] connection [WORD]\n"
      "       %s [--config FILE] mic [on|off]\n"
      "       %s [--config FILE] path connection|mic\n"
      "       %s --version\n"
      "Without a word, prints the state as the plug-ins read it.\n"
      "network is another name for connection.\n"
      "FILE defaults to $VANTOR_CONFIG.\n",
      kProgram, kProgram, kProgram, kProgram);
}

// |text| in quotes, with control characters escaped so that a stray newline
// from a script cannot split the error line.
std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (unsigned char c : text) {
    if (c == '\n') {
      quoted += "\\n";
    } else if (c < 0x20 || c == 0x7f) {
      char escaped[5];
      snprintf(escaped, sizeof(escaped), "\\x%02x", c);
      quoted += escaped;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "'";
}

std::string Join(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words)
    joined += (joined.empty() ? "" : " ") + word;
  return joined;
}

const StateFile* FindStateFile(const std::string& command) {
  if (command == kConnection.command || command == kConnectionSynonym)
    return &kConnection;
  if (command == kMic.command)
    return &kMic;
  return nullptr;
}

bool Exists(const std::string& path) {
  assistant_reference::FileStatus status;
  return assistant_reference::StatusOf(path, /*follow=*/true, &status);
}

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The state file's path, as the plug-ins compute it; false (and |*error|)
// when the configuration cannot be read or does not parse.
bool ResolvePath(const std::string& config_path,
                 const StateFile& file,
                 std::string* path,
                 std::string* error) {
  const std::string text = assistant_reference::ReadFile(config_path, false);
  if (text.empty()) {
    if (!Exists(config_path)) {
      *error =
          "cannot read configuration " + config_path + ": " + strerror(ENOENT);
    } else if (access(config_path.c_str(), R_OK) != 0) {
      *error =
          "cannot read configuration " + config_path + ": " + strerror(errno);
    } else {
      *error = "configuration " + config_path + " is empty or not a file";
    }
    return false;
  }
  std::string parse_error;
  std::unique_ptr<assistant_reference::ConfigAccessor> config =
      assistant_reference::ConfigInspector::TryParse(text, kSection,
                                                     &parse_error);
  if (!config) {
    *error = "configuration " + config_path + " does not parse: " + parse_error;
    return false;
  }
  const std::string fallback =
      assistant_reference::GetAssistantRootPath() + file.default_suffix;
  // An absent key is the normal case and not worth the accessor's warning;
  // a key of the wrong type still warns, as it does in the plug-in.
  *path = fallback;
  for (const std::string& key :
       assistant_reference::ConfigInspector::SectionKeys(*config)) {
    if (key == file.key)
      *path = config->GetString(file.key, fallback);
  }
  return true;
}

// Takes the log lines of a failed write: the caller reports the failure in
// its own single line.
bool DropLogLine(int /*severity*/, const std::string& /*line*/) {
  return true;
}

// Whether this process is root or one of the group |gid|.
bool InGroup(gid_t gid) {
  if (geteuid() == 0 || getegid() == gid)
    return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0)
    return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = getgroups(count, groups.data());
  for (int i = 0; i < got; ++i) {
    if (groups[static_cast<size_t>(i)] == gid)
      return true;
  }
  return false;
}

// Why the folder that holds (or will hold) |path| is no safe place for a
// state file, or "" when it is. Another user who owns it or may write it
// could plant the file, or a link in its place, for the host to read. A
// folder its group may write is how a device shares its state among the
// services of one writers' group: fine for root and that group's members
// when root or this user owns it. The folders above may also be writable by
// others if they are sticky (/tmp): then nobody else can rename or remove
// what is below.
std::string UnsafeFolderReason(const std::string& path) {
  std::string folder = Folder(path);
  // The folders WriteFile will make are this user's; the nearest existing
  // one decides.
  assistant_reference::FileStatus st;
  while (!assistant_reference::StatusOf(folder, /*follow=*/true, &st) &&
         folder != "/" && folder != ".") {
    folder = Folder(folder);
  }
  char resolved[PATH_MAX];
  if (!realpath(folder.c_str(), resolved))
    return std::string();  // WriteFile reports what is wrong.
  const uid_t me = geteuid();
  bool innermost = true;
  for (std::string at = resolved;; at = Folder(at)) {
    if (assistant_reference::StatusOf(at, /*follow=*/true, &st)) {
      if (st.uid != me && st.uid != 0) {
        return at + " belongs to user " + std::to_string(st.uid) +
               ", not to this user or root";
      }
      const bool others_write =
          (st.mode & S_IWOTH) || ((st.mode & S_IWGRP) && !InGroup(st.gid));
      if (others_write && (innermost || !(st.mode & S_ISVTX))) {
        char mode[8];
        snprintf(mode, sizeof(mode), "%04o",
                 static_cast<unsigned>(st.mode & 07777));
        return at + " is writable by other users (mode " + mode + ")";
      }
    }
    innermost = false;
    if (at == "/")
      return std::string();
  }
}

int SetState(const StateFile& file,
             const std::string& path,
             const std::string& word) {
  const bool folder_existed = Exists(Folder(path));
  const std::string unsafe = UnsafeFolderReason(path);
  if (!unsafe.empty()) {
    return Fail(kFailed, "refusing to write " + std::string(file.command) +
                             " to " + path + ": " + unsafe +
                             "; file left unchanged");
  }

  core::SetLogMessageHandler(&DropLogLine);
  errno = 0;
  bool written = assistant_reference::WriteFile(path, word + "\n");
  int write_errno = errno;
  core::SetLogMessageHandler(nullptr);

  if (!written) {
    std::string reason = write_errno ? strerror(write_errno) : "failed";
    return Fail(kFailed, "cannot write " + std::string(file.command) + " '" +
                             word + "' to " + path + ": " + reason +
                             "; file left unchanged");
  }
  if (!folder_existed) {
    // WriteFile makes missing folders private to this user; a host running
    // as another user could then never read the state.
    fprintf(stderr,
            "%s: note: created %s with mode 0700; only this user can read "
            "the state files there\n",
            kProgram, Folder(path).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string config_path;
  if (const char* env = getenv("VANTOR_CONFIG"))
    config_path = env;
  size_t next = 0;
  while (next < args.size() && args[next].rfind("-", 0) == 0) {
    if (args[next] == "-h" || args[next] == "--help") {
      PrintUsage();
      return 0;
    }
    if (args[next] == "--version") {
      printf("%s %s\n", kProgram, core::kVersion);
      return 0;
    }
    if (args[next] == "--config" && next + 1 < args.size()) {
      config_path = args[next + 1];
      next += 2;
    } else if (args[next].rfind("--config=", 0) == 0) {
      config_path = args[next].substr(strlen("--config="));
      ++next;
    } else {
      return Fail(kUsage, "unknown option " + Quote(args[next]) + kSeeHelp);
    }
  }
  args.erase(args.begin(), args.begin() + next);

  if (args.empty())
    return Fail(kUsage, std::string("no command given") + kSeeHelp);
  const bool path_only = args[0] == "path";
  if (path_only)
    args.erase(args.begin());
  const StateFile* file = args.empty() ? nullptr : FindStateFile(args[0]);
  if (!file || args.size() > (path_only ? 1u : 2u)) {
    return Fail(kUsage, (args.empty() ? "path of what: connection or mic"
                                      : "unexpected " + Quote(Join(args))) +
                            kSeeHelp);
  }
  if (config_path.empty()) {
    return Fail(kFailed,
                "no configuration: pass --config FILE or set VANTOR_CONFIG");
  }

  std::string path, error;
  if (!ResolvePath(config_path, *file, &path, &error))
    return Fail(kFailed, error);

  if (path_only) {
    printf("%s\n", path.c_str());
    return 0;
  }
  if (args.size() == 1) {
    printf("%s\n",
           file->interpret(assistant_reference::ReadFile(path, true)).c_str());
    return 0;
  }
  const std::string& word = args[1];
  for (const std::string& known : file->words) {
    if (word == known)
      return SetState(*file, path, word);
  }
  return Fail(kUsage, Quote(word) + " is not a " + file->command +
                          " state (one of: " + Join(file->words) + "); " +
                          path + " left unchanged");
}
