// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Many host threads drive one responder through its C structure, as the host
// library does, while the scripted DNS-SD library fails some registrations.
// Every answer must come exactly once, on the responder thread, and every
// callback structure and DNS-SD reference must be released (ASan reports
// what is not).
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/logging.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/net/bonjour/bonjour_mdns_responder.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/fake_dns_sd.h"
#include "testing/log_capture.h"

namespace assistant_reference {
namespace {

using assistant_client::MdnsResponder;
using assistant_client::internal_api::MdnsResponderResultCallbackToC;
using assistant_client::internal_api::MdnsResponderToC;
using assistant_client::internal_api::StringToC;
using testing::Each;
using testing::Field;

constexpr int kThreads = 8;
constexpr int kRounds = 500;
// Answered requests per round: the registration and the TXT update.
constexpr int kAnswersPerRound = 2;
// "BonjourMdnsResponder" as the kernel keeps it: 15 characters.
constexpr char kThreadName[] = "BonjourMdnsResp";
constexpr char kType[] = "_stress._tcp";
constexpr char kDuplicate[] = "Duplicate service instance encountered";
constexpr char kUnknown[] = "Unknown service instance encountered";
constexpr auto kPatience = std::chrono::seconds(60);

// The first registrations that reach the library fail in these ways.
constexpr int kRegisterFailures = 60;
constexpr int kReplyFailures = 60;
constexpr int kProcessFailures = 30;
// Some succeed only after other events on their reference.
constexpr int kSlowSuccesses = 30;

std::string ThreadName() {
  char name[32] = {};
  pthread_getname_np(pthread_self(), name, sizeof(name));
  return name;
}

struct Outcome {
  std::atomic<int> runs{0};
  std::atomic<int> releases{0};
  MdnsResponder::Result result = MdnsResponder::FATAL_ERROR;
  std::string message;
  std::string thread;
};

// One slot per answered request; a request's callback writes only its own.
class Outcomes {
 public:
  explicit Outcomes(size_t count) : slots_(count) {}

  // A callback structure for slot |index|, built as the host builds one.
  C_API_MdnsResponderResultCallback* Callback(size_t index) {
    Outcome* slot = &slots_[index];
    // Destroyed with the callback structure: counts its release.
    std::shared_ptr<void> release(nullptr, [slot](void*) { ++slot->releases; });
    return MdnsResponderResultCallbackToC(
        [this, slot, release](MdnsResponder::Result result,
                              std::string message) {
          slot->result = result;
          slot->message = std::move(message);
          slot->thread = ThreadName();
          if (++slot->runs == 1) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++answered_;
            changed_.notify_all();
          }
        },
        assistant_client::internal_api::kApiVersion);
  }

  bool WaitForAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kPatience,
                             [&] { return answered_ == slots_.size(); });
  }

  const Outcome& operator[](size_t index) const { return slots_[index]; }
  size_t size() const { return slots_.size(); }

 private:
  std::vector<Outcome> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t answered_ = 0;
};

size_t AddIndex(int thread, int round) {
  return (static_cast<size_t>(thread) * kRounds + round) * kAnswersPerRound;
}

// Three of four rounds use a name of their own; every fourth contends with
// the other threads for one of eight shared names. Those stay registered,
// refusing the other threads' registrations, except that every sixteenth
// round also removes its name.
bool IsShared(int round) {
  return round % 4 == 3;
}
bool Removes(int round) {
  return !IsShared(round) || round % 16 == 15;
}
std::string InstanceName(int thread, int round) {
  return IsShared(round)
             ? "Shared-" + std::to_string(round % 32)
             : "T" + std::to_string(thread) + "-" + std::to_string(round);
}

TEST(BonjourMdnsResponderStressTest, EveryAnswerOnceOnTheResponderThread) {
  fake_dns_sd::Reset();
  // Some 11,000 requests log twice as many lines; they prove nothing here.
  testing_support::LogCapture quiet(testing_support::LogCapture::Keep::kNone);
  for (int i = 0; i < kRegisterFailures; ++i) {
    fake_dns_sd::Registration failing;
    failing.register_error = kDNSServiceErr_NameConflict;
    fake_dns_sd::ScriptNextRegistration(failing);
  }
  for (int i = 0; i < kReplyFailures; ++i) {
    fake_dns_sd::Registration failing;
    failing.reply_error = kDNSServiceErr_BadParam;
    fake_dns_sd::ScriptNextRegistration(failing);
  }
  for (int i = 0; i < kProcessFailures; ++i) {
    fake_dns_sd::Registration failing;
    failing.process_error = kDNSServiceErr_Unknown;
    fake_dns_sd::ScriptNextRegistration(failing);
  }
  for (int i = 0; i < kSlowSuccesses; ++i) {
    fake_dns_sd::Registration slow;
    slow.reply_delay = std::chrono::milliseconds(1);
    slow.events_before_reply = 2;
    fake_dns_sd::ScriptNextRegistration(slow);
  }

  Outcomes outcomes(kThreads * kRounds * kAnswersPerRound);
  auto responder =
      std::make_unique<BonjourMdnsResponder>(std::chrono::milliseconds(2000));
  C_API_MdnsResponder* c = MdnsResponderToC(
      responder.get(), assistant_client::internal_api::kApiVersion);

  std::atomic<int> requests{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> hosts;
  for (int t = 0; t < kThreads; ++t) {
    hosts.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const std::string name = InstanceName(t, round);
        const std::string pair = "r=" + std::to_string(round);
        const std::string txt = static_cast<char>(pair.size()) + pair;
        const size_t add = AddIndex(t, round);
        c->AddService(c, StringToC(kType), StringToC(name), 4000 + t,
                      StringToC(txt), outcomes.Callback(add));
        c->UpdateTxtRecord(c, StringToC(kType), StringToC(name),
                           StringToC("\x03u=1"), outcomes.Callback(add + 1));
        requests += 2;
        if (Removes(round)) {
          c->RemoveService(c, StringToC(kType), StringToC(name));
          ++requests;
        }
      }
    });
  }
  for (std::thread& host : hosts)
    host.join();
  const auto queued = std::chrono::steady_clock::now();
  ASSERT_TRUE(outcomes.WaitForAll()) << "requests left unanswered";
  const auto answered = std::chrono::steady_clock::now();
  c->Destroy(c);
  responder.reset();

  std::map<std::string, int> add_messages;
  for (int t = 0; t < kThreads; ++t) {
    for (int round = 0; round < kRounds; ++round) {
      const size_t add = AddIndex(t, round);
      const Outcome& added = outcomes[add];
      const Outcome& updated = outcomes[add + 1];
      const std::string where =
          "thread " + std::to_string(t) + " round " + std::to_string(round);
      for (const Outcome* outcome : {&added, &updated}) {
        EXPECT_EQ(outcome->runs, 1) << where;
        EXPECT_EQ(outcome->releases, 1) << where;
        EXPECT_EQ(outcome->thread, kThreadName) << where;
      }
      ++add_messages[added.message.substr(0, added.message.find('='))];
      if (IsShared(round))
        continue;
      // Requests of one host thread run in the order it made them, and a
      // name of its own is not touched by any other thread.
      EXPECT_NE(added.message, kDuplicate) << where;
      if (added.result == MdnsResponder::SUCCESS) {
        EXPECT_EQ(updated.result, MdnsResponder::SUCCESS) << where;
        EXPECT_EQ(updated.message, "") << where;
      } else {
        EXPECT_EQ(updated.result, MdnsResponder::FATAL_ERROR) << where;
        EXPECT_EQ(updated.message, kUnknown) << where;
      }
    }
  }
  // Each scripted failure reached exactly one requester, with its message.
  EXPECT_EQ(add_messages["DNSServiceRegister() failed error_code"],
            kRegisterFailures);
  EXPECT_EQ(add_messages["OnDNSServiceRegisterReply() failed error_code"],
            kReplyFailures);
  EXPECT_EQ(add_messages["DNSServiceProcessResult() failed error_code"],
            kProcessFailures);

  // The withdrawals made while the responder closes run on their own thread.
  EXPECT_THAT(
      fake_dns_sd::CallsElsewhere(kThreadName, "MdnsRelease", "MdnsRegister"),
      testing::IsEmpty());
  EXPECT_EQ(fake_dns_sd::BlindProcessCalls(), 0);
  EXPECT_EQ(fake_dns_sd::LiveReferences(), 0);
  EXPECT_EQ(fake_dns_sd::BadDeallocations(), 0);

  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  std::cout << kThreads << " threads x " << kRounds
            << " rounds (add, update, remove): " << requests
            << " requests queued in "
            << duration_cast<milliseconds>(queued - start).count()
            << " ms, all " << outcomes.size() << " answers after "
            << duration_cast<milliseconds>(answered - start).count()
            << " ms; successful registrations " << add_messages[""]
            << ", duplicates refused " << add_messages[kDuplicate] << "\n";
  EXPECT_GT(add_messages[kDuplicate], 0) << "the shared names never met";
}

}  // namespace
}  // namespace assistant_reference
