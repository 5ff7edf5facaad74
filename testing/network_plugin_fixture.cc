// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "testing/network_plugin_fixture.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>

#include "core/logging.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/mdns_daemon.h"

namespace testing_support {
namespace {

using assistant_client::MdnsResponder;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// core::SetLogMessageHandler as the plug-in exports it (GCC's C++11 string
// ABI, on every target of this tree).
constexpr char kSetLogMessageHandler[] =
    "_ZN4core20SetLogMessageHandlerEPFbiRKNSt7__cxx1112basic_stringIcSt11"
    "char_traitsIcESaIcEEEE";

// The handler is a plain function, so the lines are the process's.
struct PluginLines {
  std::mutex mutex;
  std::vector<std::string> lines;  // Guarded by |mutex|.
};

// Never destroyed: the plug-in's threads may still log at exit.
PluginLines& GetPluginLines() {
  static PluginLines* lines = new PluginLines();
  return *lines;
}

bool KeepLine(int /*severity*/, const std::string& line) {
  PluginLines& log = GetPluginLines();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.lines.push_back(line);
  return false;  // To stderr as well.
}

}  // namespace

std::string Txt(const std::vector<std::string>& strings) {
  std::string wire;
  for (const std::string& s : strings)
    wire += static_cast<char>(s.size()) + s;
  return wire;
}

struct Answers::State {
  struct Tagged {
    Answer answer;
    int count = 0;
  };
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, Tagged> answers;  // Guarded by |mutex|.
};

Answers::Answers() : state_(std::make_shared<State>()) {}

MdnsResponder::ResultCallback Answers::Callback(const std::string& tag) {
  return [state = state_, tag, asked = steady_clock::now()](
             MdnsResponder::Result result, std::string message) {
    const auto after =
        std::chrono::duration_cast<milliseconds>(steady_clock::now() - asked);
    std::lock_guard<std::mutex> lock(state->mutex);
    State::Tagged& tagged = state->answers[tag];
    tagged.answer = {result, message, after};
    ++tagged.count;
    state->changed.notify_all();
  };
}

Answer Answers::Wait(const std::string& tag, milliseconds bound) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  EXPECT_TRUE(state_->changed.wait_for(
      lock, bound, [&] { return state_->answers.count(tag) > 0; }))
      << tag << ": no answer within " << bound.count() << " ms";
  auto it = state_->answers.find(tag);
  return it == state_->answers.end() ? Answer() : it->second.answer;
}

bool Answers::WaitFor(size_t count, milliseconds bound) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->changed.wait_for(
      lock, bound, [&] { return state_->answers.size() >= count; });
}

Answer Answers::Get(const std::string& tag) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto it = state_->answers.find(tag);
  return it == state_->answers.end() ? Answer() : it->second.answer;
}

int Answers::Count(const std::string& tag) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto it = state_->answers.find(tag);
  return it == state_->answers.end() ? 0 : it->second.count;
}

MdnsDaemonEnvironment::MdnsDaemonEnvironment(std::string script)
    : script_(std::move(script)) {}

void MdnsDaemonEnvironment::SetUp() {
  ASSERT_TRUE(InMdnsSandbox()) << "run through scripts/mdns-sandbox: the "
                                  "tests stop and kill the mDNS daemon";
  ASSERT_TRUE(StartMdnsDaemon(script_));
}

void MdnsDaemonEnvironment::TearDown() {
  if (!InMdnsSandbox())
    return;
  EXPECT_TRUE(StartMdnsDaemon(script_));
  EXPECT_TRUE(StopMdnsDaemon(script_));
}

bool CapturePluginLog(const std::string& plugin, std::string* error) {
  void* handle = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    *error = dlerror();
    return false;
  }
  auto set_handler = reinterpret_cast<void (*)(core::LogMessageHandler)>(
      dlsym(handle, kSetLogMessageHandler));
  if (!set_handler) {
    *error = "the plug-in exports no log handler";
    return false;
  }
  set_handler(&KeepLine);
  return true;
}

int PluginLogCount(const std::string& text) {
  PluginLines& log = GetPluginLines();
  std::lock_guard<std::mutex> lock(log.mutex);
  return static_cast<int>(std::count_if(
      log.lines.begin(), log.lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
      }));
}

NetworkPluginFixture::NetworkPluginFixture(std::string plugin,
                                           std::string daemon_script)
    : plugin_(std::move(plugin)), daemon_script_(std::move(daemon_script)) {}

void NetworkPluginFixture::SetUp() {
  ASSERT_TRUE(InMdnsSandbox());  // Never the machine's daemon.
  // dlopen hands back the library already loaded: loaded once and never
  // unloaded, as the host does.
  std::string error;
  const PlatformEntrypoint new_entrypoint =
      LoadPlatformEntrypoint(plugin_, &error);
  ASSERT_NE(new_entrypoint, nullptr) << error;
  ASSERT_TRUE(MdnsDaemonRuns());
  factory_.reset(
      assistant_client::internal_api::NewPlatformFactoryForEntrypoint(
          new_entrypoint(assistant_client::internal_api::kApiVersion)));
  provider_ = NewProvider("{}");
  ASSERT_NE(provider_, nullptr);
  responder_ = provider_->GetMdnsResponder();
  ASSERT_NE(responder_, nullptr);
}

void NetworkPluginFixture::TearDown() {
  provider_.reset();
  responder_ = nullptr;
  if (InMdnsSandbox()) {
    EXPECT_TRUE(StartMdnsDaemon(daemon_script_));
  }
}

std::unique_ptr<assistant_client::NetworkProvider>
NetworkPluginFixture::NewProvider(const std::string& config) {
  return std::unique_ptr<assistant_client::NetworkProvider>(
      factory_->NewNetworkProvider(config, &platform_));
}

std::string NetworkPluginFixture::UniqueName(const std::string& prefix) {
  return prefix + "-" + std::to_string(getpid());
}

}  // namespace testing_support
