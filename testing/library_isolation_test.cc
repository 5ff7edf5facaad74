// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Each deliverable keeps its own logger: a process that links the host
// library and loads both plug-ins, as a client does, with a handler set
// through each library's own exported SetLogMessageHandler. Every handler
// must receive exactly its library's lines, and each library's flags must
// shape only its own prefixes.
#include <ctype.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/logging.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "prebuilt/lib/assistant_client.h"
#include "testing/file_tree.h"

namespace {

using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Truly;

// The Itanium names of the exported logging functions (the same on every
// target of this tree: GCC's C++11 string ABI).
constexpr char kSetHandlerSymbol[] =
    "_ZN4core20SetLogMessageHandlerEPFbiRKNSt7__cxx1112basic_"
    "stringIcSt11char_traitsIcESaIcEEEE";
constexpr char kInitializeLoggingSymbol[] = "_ZN4core17InitializeLoggingEbb";

using SetHandlerFunction = void (*)(core::LogMessageHandler);
using InitializeLoggingFunction = void (*)(bool, bool);

// Lines of one library; handlers are plain functions, so one per slot.
struct Lines {
  std::mutex mutex;
  std::vector<std::string> lines;

  void Add(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
  }
  std::vector<std::string> Get() {
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
  }
};

enum Library { kTest, kHost, kNetwork, kSystem, kLibraryCount };
Lines g_lines[kLibraryCount];

template <Library library>
bool Collect(int /*severity*/, const std::string& line) {
  g_lines[library].Add(line);
  return true;
}

void* Open(const std::string& path, int flags) {
  void* handle = dlopen(path.c_str(), flags);
  EXPECT_NE(handle, nullptr) << dlerror();
  return handle;
}

template <typename Function>
Function Find(void* handle, const char* symbol) {
  auto function = reinterpret_cast<Function>(dlsym(handle, symbol));
  EXPECT_NE(function, nullptr) << symbol << ": " << dlerror();
  return function;
}

// "[SEVERITY:..." rather than "[<ticks>:SEVERITY:...".
bool HasNoTickCount(const std::string& line) {
  return line.size() > 1 && line[0] == '[' && isupper(line[1]);
}

TEST(LibraryIsolationTest, EachLibraryLogsThroughItsOwnHandlerAndFlags) {
  char pattern[] = "/tmp/library_isolation_test.XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  setenv("VANTOR_PLUGIN_DIR", VANTOR_PLUGIN_DIR, 1);

  // The host has not loaded the plug-ins yet; it gets these same handles
  // when it does.
  void* host = Open(VANTOR_HOST_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  void* network =
      Open(VANTOR_PLUGIN_DIR "/libvantor_network.so", RTLD_NOW | RTLD_LOCAL);
  void* system_plugin =
      Open(VANTOR_PLUGIN_DIR "/libvantor_system.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_TRUE(host && network && system_plugin);
  Find<SetHandlerFunction>(host, kSetHandlerSymbol)(&Collect<kHost>);
  Find<SetHandlerFunction>(network, kSetHandlerSymbol)(&Collect<kNetwork>);
  Find<SetHandlerFunction>(system_plugin, kSetHandlerSymbol)(&Collect<kSystem>);
  core::SetLogMessageHandler(&Collect<kTest>);  // This program's own copy.
  // Tick counts in the system plug-in's prefixes only.
  Find<InitializeLoggingFunction>(system_plugin, kInitializeLoggingSymbol)(
      true, false);

  // No platform_config keys: each plug-in warns about its own key.
  const std::string config =
      "{\"vantor_host\": {\"device_id\": \"isolation\"}, "
      "\"platform_config\": {}}";
  LOG(INFO) << "from the test program";
  {
    std::unique_ptr<assistant_client::AssistantManager> manager(
        assistant_client::AssistantManager::Create(nullptr, config));
    manager->Start();
  }
  core::SetLogMessageHandler(nullptr);

  const std::vector<std::string> test = g_lines[kTest].Get();
  const std::vector<std::string> host_lines = g_lines[kHost].Get();
  const std::vector<std::string> network_lines = g_lines[kNetwork].Get();
  const std::vector<std::string> system_lines = g_lines[kSystem].Get();

  EXPECT_THAT(test, Contains(HasSubstr("from the test program")));
  EXPECT_EQ(test.size(), 1u) << test.back();

  EXPECT_THAT(host_lines, Contains(HasSubstr("Loading plug-ins from")));
  EXPECT_THAT(host_lines, Contains(HasSubstr("GetDeviceId: isolation")));
  EXPECT_THAT(host_lines, Each(Not(HasSubstr("platform_config."))));

  EXPECT_THAT(network_lines,
              Contains(HasSubstr("platform_config.connection_status_path")));
  EXPECT_THAT(network_lines, Each(Not(AnyOf(HasSubstr("mic_state_path"),
                                            HasSubstr("Loading plug-ins")))));
  // The flag set through the system plug-in reached no other library.
  EXPECT_THAT(network_lines, Each(Truly(&HasNoTickCount)));
  EXPECT_THAT(host_lines, Each(Truly(&HasNoTickCount)));

  EXPECT_THAT(system_lines,
              Contains(HasSubstr("platform_config.mic_state_path")));
  EXPECT_THAT(system_lines, Each(Not(AnyOf(HasSubstr("connection_status_path"),
                                           HasSubstr("Loading plug-ins")))));
  EXPECT_THAT(system_lines, Each(Not(Truly(&HasNoTickCount))));

  Find<SetHandlerFunction>(host, kSetHandlerSymbol)(nullptr);
  Find<SetHandlerFunction>(network, kSetHandlerSymbol)(nullptr);
  Find<SetHandlerFunction>(system_plugin, kSetHandlerSymbol)(nullptr);
  ASSERT_TRUE(testing_support::RemoveTree(dir));
}

}  // namespace
