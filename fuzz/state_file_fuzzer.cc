// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Puts arbitrary bytes where both plug-ins read their state word, through
// the providers themselves: the network provider's connection status and
// the system provider's microphone state. Another device service owns that
// file, so every content must give the documented answer and nothing else.
//
// Input: one byte choosing what sits at the path (a regular file, nothing,
// a folder or a FIFO), then the file's contents.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/logging.h"
#include "fuzz/fuzz_support.h"
#include "platform/network/network_provider_impl.h"
#include "platform/system/system_provider_impl.h"
#include "platform/utils/file_utils.h"

namespace {

using fuzz_support::Trim;

using fuzz_support::Expect;

using assistant_client::NetworkProvider;
using assistant_reference::NetworkProviderImpl;
using assistant_reference::SystemProviderImpl;

// Neither provider reads a larger file at all: it is no word, whatever it
// holds once trimmed.
constexpr size_t kMaxStateBytes = 4096;

bool DropNonFatal(int severity, const std::string&) {
  return severity != core::LOG_FATAL;
}

NetworkProvider::ConnectionStatus ExpectedStatus(const std::string& word) {
  static const struct {
    const char* word;
    NetworkProvider::ConnectionStatus status;
  } kWords[] = {
      {"WIFI_NOT_CONFIGURED", NetworkProvider::WIFI_NOT_CONFIGURED},
      {"DISCONNECTED_FROM_WIFI", NetworkProvider::DISCONNECTED_FROM_WIFI},
      {"DISCONNECTED_FROM_INTERNET",
       NetworkProvider::DISCONNECTED_FROM_INTERNET},
      {"WIFI_ERROR", NetworkProvider::WIFI_ERROR},
      {"CONNECTING", NetworkProvider::CONNECTING},
      {"CONNECTED", NetworkProvider::CONNECTED},
  };
  for (const auto& entry : kWords) {
    if (word == entry.word)
      return entry.status;
  }
  return NetworkProvider::UNKNOWN;
}

struct Fixture {
  std::string folder;
  std::string path;
  NetworkProviderImpl* network;  // Never destroyed: the fuzzer exits.
  SystemProviderImpl* system;    // Never destroyed: the fuzzer exits.
};

Fixture* fixture = nullptr;

void RemoveStateFile() {
  if (unlink(fixture->path.c_str()) != 0)
    rmdir(fixture->path.c_str());
}

void RemoveFolder() {
  RemoveStateFile();
  rmdir(fixture->folder.c_str());
}

void SetUp() {
  core::SetLogMessageHandler(&DropNonFatal);
  const char* tmp = getenv("TMPDIR");
  std::string folder =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/state_file_fuzzer.XXXXXX";
  CHECK(mkdtemp(&folder[0])) << "mkdtemp " << folder;
  fixture = new Fixture{folder, folder + "/state", nullptr, nullptr};
  const std::string config =
      "{\"platform_config\": {"
      "\"connection_status_path\": \"" +
      fixture->path + "\", \"mic_state_path\": \"" + fixture->path + "\"}}";
  fixture->network = new NetworkProviderImpl(config);
  fixture->system = new SystemProviderImpl(config);
  atexit(&RemoveFolder);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fixture)
    SetUp();
  if (size == 0)
    return 0;
  const std::string contents(reinterpret_cast<const char*>(data) + 1, size - 1);
  RemoveStateFile();
  bool regular = false;
  switch (data[0] % 4) {
    case 0:
      // The way the state tool writes it; empty contents remove the file.
      Expect(assistant_reference::WriteFile(fixture->path, contents));
      regular = !contents.empty();
      break;
    case 1:
      break;
    case 2:
      Expect(mkdir(fixture->path.c_str(), 0700) == 0);
      break;
    case 3:
      // Must not block the reader.
      Expect(mkfifo(fixture->path.c_str(), 0600) == 0);
      break;
  }

  const std::string word = regular && contents.size() <= kMaxStateBytes
                               ? Trim(contents)
                               : std::string();
  Expect(fixture->network->GetConnectionStatus() == ExpectedStatus(word));
  Expect(fixture->system->GetMicMuteState() == (word == "off" ? 1 : 0));
  return 0;
}
