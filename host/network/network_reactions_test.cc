// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/network/network_reactions.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace vantor_host {
namespace {

using assistant_client::MdnsResponder;
using assistant_client::NetworkProvider;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Answers each registration at once, with the next scripted result; the
// last one repeats.
class ScriptedResponder : public MdnsResponder {
 public:
  explicit ScriptedResponder(std::deque<Result> script) : script_(script) {}

  void AddService(const std::string& /*type*/,
                  const std::string& /*name*/,
                  uint16_t /*port*/,
                  const std::string& /*txt*/,
                  ResultCallback callback) override {
    Result result;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      adds_.push_back(Clock::now());
      result = script_.front();
      if (script_.size() > 1)
        script_.pop_front();
      changed_.notify_all();
    }
    callback(result, result == SUCCESS ? "" : "scripted");
  }
  void RemoveService(const std::string& /*type*/,
                     const std::string& /*name*/) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++removals_;
  }
  void UpdateTxtRecord(const std::string& /*type*/,
                       const std::string& /*name*/,
                       const std::string& /*txt*/,
                       ResultCallback /*callback*/) override {}

  bool WaitForAdds(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return adds_.size() >= count; });
  }
  std::vector<Clock::time_point> adds() {
    std::lock_guard<std::mutex> lock(mutex_);
    return adds_;
  }
  int removals() {
    std::lock_guard<std::mutex> lock(mutex_);
    return removals_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Result> script_;
  std::vector<Clock::time_point> adds_;
  int removals_ = 0;
};

class Provider : public NetworkProvider {
 public:
  explicit Provider(MdnsResponder* responder) : responder_(responder) {}
  ConnectionStatus GetConnectionStatus() override { return CONNECTED; }
  MdnsResponder* GetMdnsResponder() override { return responder_; }

 private:
  MdnsResponder* const responder_;
};

// After a failed try, a name the network does not show: namesakes that
// renamed in step start afresh where the others left off.
TEST(NetworkReactionsTest, FreeNameIsTheFirstTheNetworkDoesNotShow) {
  const struct {
    const char* preferred;
    std::set<std::string> shown;
    size_t skip;
    const char* free;
  } kCases[] = {
      {"Kitchen", {}, 0, "Kitchen"},
      {"Kitchen #3", {"Kitchen", "Kitchen #2"}, 0, "Kitchen #3"},
      {"Kitchen", {"Kitchen"}, 0, "Kitchen #2"},
      {"Kitchen", {"Kitchen", "Kitchen #2", "Kitchen #4"}, 0, "Kitchen #3"},
      {"Kitchen #3", {"Kitchen #3"}, 0, "Kitchen"},
      {"Kitchen #3", {"Kitchen", "Kitchen #2", "Kitchen #3"}, 0, "Kitchen #4"},
      // Other names are no namesakes.
      {"Kitchen", {"Kitchen", "Kitchen 2", "Hall #2"}, 0, "Kitchen #2"},
      // Further free names: shown ones are passed over.
      {"Kitchen", {"Kitchen", "Kitchen #3"}, 1, "Kitchen #4"},
      {"Kitchen #9", {}, 2, "Kitchen #3"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(
        NetworkReactions::FreeName(c.preferred, "Kitchen", c.shown, c.skip),
        c.free)
        << c.preferred << " among " << c.shown.size() << ", skip " << c.skip;
  }
}

TEST(NetworkReactionsTest, RetryDelayDoublesUpToTheCap) {
  const NetworkReactions::Options options;  // 1 s doubling to 30 s.
  const struct {
    int attempt;
    long expected_ms;
  } kCases[] = {{1, 1000},  {2, 2000},  {3, 4000},   {5, 16000},
                {6, 30000}, {7, 30000}, {200, 30000}};
  for (const auto& c : kCases) {
    EXPECT_EQ(NetworkReactions::RetryDelay(options, c.attempt).count(),
              c.expected_ms)
        << "attempt " << c.attempt;
  }
}

TEST(NetworkReactionsTest, TriesAgainOnlyAfterNonFatalErrors) {
  constexpr auto kFatal = MdnsResponder::FATAL_ERROR;
  constexpr auto kNonFatal = MdnsResponder::NON_FATAL_ERROR;
  constexpr auto kSuccess = MdnsResponder::SUCCESS;
  const struct {
    const char* what;
    std::deque<MdnsResponder::Result> script;
    size_t adds;   // Registrations asked for before the object goes.
    int removals;  // At its destruction.
  } kCases[] = {
      {"advertised at once", {kSuccess}, 1, 1},
      {"refused for good", {kFatal}, 1, 0},
      {"daemon back on the third try", {kNonFatal, kNonFatal, kSuccess}, 3, 1},
      {"refused after a retry", {kNonFatal, kFatal}, 2, 0},
      // Destroyed while a try is planned: nothing to withdraw.
      {"never served", {kNonFatal}, 4, 0},
  };
  constexpr milliseconds kFirst(20);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    ScriptedResponder responder(c.script);
    Provider provider(&responder);
    auto config = assistant_reference::ConfigAccessor::Parse(
        "{\"vantor_host\": {}}", "vantor_host");
    NetworkReactions::Options options;
    options.first_retry = kFirst;
    options.max_retry = kFirst * 2;
    options.watch_network = false;
    {
      NetworkReactions reactions(&provider, *config, "0123", options);
      ASSERT_TRUE(responder.WaitForAdds(c.adds));
      if (c.script.back() != kNonFatal) {
        // Settled: no try may follow.
        std::this_thread::sleep_for(kFirst * 3);
      }
    }
    const std::vector<Clock::time_point> adds = responder.adds();
    if (c.script.back() != kNonFatal) {
      EXPECT_EQ(adds.size(), c.adds);
    }
    EXPECT_EQ(responder.removals(), c.removals);
    // Each pause at least three quarters of the planned one (its jitter):
    // 20, 40, then 40 ms.
    for (size_t i = 1; i < adds.size(); ++i) {
      EXPECT_GE(
          adds[i] - adds[i - 1],
          NetworkReactions::RetryDelay(options, static_cast<int>(i)) * 3 / 4)
          << "before try " << i + 1;
    }
  }
}

}  // namespace
}  // namespace vantor_host
