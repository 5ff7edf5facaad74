// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/net/bonjour/bonjour_mdns_responder.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/logging.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "testing/fake_dns_sd.h"
#include "testing/log_capture.h"

// What the responder reported for the service's status line, as a program
// that defines the hook hears it (the test exports it; see CMakeLists.txt).
std::mutex g_reports_mutex;
std::vector<std::string> g_reports;
extern "C" __attribute__((visibility("default"))) void vantor_service_status(
    const char* topic,
    const char* text) {
  std::lock_guard<std::mutex> lock(g_reports_mutex);
  g_reports.push_back(std::string(topic) + ": " + text);
}

namespace assistant_reference {
namespace {

using assistant_client::MdnsResponder;
using fake_dns_sd::Registration;
using testing::AllOf;
using testing::Contains;
using testing::Each;
using testing::ElementsAre;
using testing::Field;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

// "BonjourMdnsResponder" as the kernel keeps it: 15 characters.
constexpr char kThreadName[] = "BonjourMdnsResp";
constexpr char kType[] = "_xyz._tcp";
constexpr std::chrono::seconds kWait(5);

std::string ThreadName() {
  char name[32] = {};
  pthread_getname_np(pthread_self(), name, sizeof(name));
  return name;
}

struct Answer {
  MdnsResponder::Result result;
  std::string message;
  std::string thread;
  std::string tag;
};

void PrintTo(const Answer& answer, std::ostream* out) {
  *out << "{" << answer.result << ", \"" << answer.message << "\", "
       << answer.thread << ", " << answer.tag << "}";
}

// Collects the answers of every request, in the order they arrive.
class Answers {
 public:
  MdnsResponder::ResultCallback Callback(const std::string& tag) {
    return [this, tag](MdnsResponder::Result result, std::string message) {
      std::lock_guard<std::mutex> lock(mutex_);
      answers_.push_back({result, message, ThreadName(), tag});
      changed_.notify_all();
    };
  }

  // The first |count| answers; fails the test when they do not come.
  std::vector<Answer> WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    EXPECT_TRUE(changed_.wait_for(lock, kWait,
                                  [&] { return answers_.size() >= count; }))
        << "only " << answers_.size() << " of " << count << " answers";
    return answers_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Answer> answers_;
};

auto IsAnswer(MdnsResponder::Result result, const std::string& message) {
  return AllOf(Field(&Answer::result, result), Field(&Answer::message, message),
               Field(&Answer::thread, kThreadName));
}

// Waits until |done| holds, for at most kWait.
bool Eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  while (!done() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return done();
}

std::string MakeFolder() {
  char folder[] = "/tmp/bonjour_mdns_responder_test.XXXXXX";
  return mkdtemp(folder) ? folder : "";
}

std::vector<fake_dns_sd::Call> RegisterCalls() {
  std::vector<fake_dns_sd::Call> registers;
  for (const fake_dns_sd::Call& call : fake_dns_sd::Calls()) {
    if (call.function == "DNSServiceRegister")
      registers.push_back(call);
  }
  return registers;
}

class BonjourMdnsResponderTest : public testing::Test {
 protected:
  // How long tries go on after a loss, in these tests.
  static constexpr std::chrono::milliseconds kLossWindow{300};

  ~BonjourMdnsResponderTest() override {
    unlink((folder_ + "/socket").c_str());
    rmdir(folder_.c_str());
  }

  void SetUp() override {
    ASSERT_FALSE(folder_.empty());
    fake_dns_sd::Reset();
    // The fake daemon's socket goes where the responder watches.
    fake_dns_sd::SetDaemonFolder(folder_);
  }
  void TearDown() override {
    responder_.reset();
    fake_dns_sd::SetDaemonFolder("");
    // Every DNS-SD call is on the responder thread but the withdrawals made
    // while it closes, no call ever waits on a silent socket, and nothing
    // leaks or is released twice.
    EXPECT_THAT(
        fake_dns_sd::CallsElsewhere(kThreadName, "MdnsRelease", "MdnsRegister"),
        IsEmpty());
    EXPECT_EQ(fake_dns_sd::BlindProcessCalls(), 0);
    EXPECT_EQ(fake_dns_sd::LiveReferences(), 0);
    EXPECT_EQ(fake_dns_sd::BadDeallocations(), 0);
  }

  // Every line as "W text" or "I text".
  std::vector<std::string> Log() { return log_.Tagged(); }

  // Registers |name| and waits for the answer, which must be SUCCESS.
  void Register(const std::string& name) {
    const size_t before = answers_.WaitFor(0).size();
    responder_->AddService(kType, name, 80, "", answers_.Callback(name));
    std::vector<Answer> all = answers_.WaitFor(before + 1);
    ASSERT_GT(all.size(), before);
    ASSERT_EQ(all[before].result, MdnsResponder::SUCCESS)
        << all[before].message;
  }

  std::unique_ptr<BonjourMdnsResponder> NewResponder(
      std::chrono::milliseconds reply_timeout,
      std::chrono::milliseconds max_retry = std::chrono::milliseconds(2000)) {
    DaemonReturnWatch::Options options;
    options.folders = {folder_};
    options.max_interval = max_retry;
    options.loss_window = kLossWindow;
    options.sign_window = std::chrono::seconds(2);
    return std::make_unique<BonjourMdnsResponder>(reply_timeout, options,
                                                  kWithdrawalWait);
  }

  // Short, for the tests whose daemon never takes the withdrawals.
  static constexpr std::chrono::milliseconds kWithdrawalWait{200};

  // Before the responder: its thread logs from the start.
  testing_support::LogCapture log_;
  Answers answers_;
  // The daemon's folder, as the responder watches it.
  const std::string folder_ = MakeFolder();
  std::unique_ptr<BonjourMdnsResponder> responder_ =
      NewResponder(std::chrono::milliseconds(300));
};

TEST_F(BonjourMdnsResponderTest, RegistersWithTheCallersArguments) {
  // The daemon answers only after a while and after other events.
  Registration slow;
  slow.reply_delay = std::chrono::milliseconds(50);
  slow.events_before_reply = 2;
  fake_dns_sd::ScriptNextRegistration(slow);
  responder_->AddService(kType, "Kitchen", 4242,
                         std::string("\x03"
                                     "a=1",
                                     4),
                         answers_.Callback("add"));

  EXPECT_THAT(answers_.WaitFor(1),
              ElementsAre(IsAnswer(MdnsResponder::SUCCESS, "")));
  std::vector<fake_dns_sd::Call> calls = fake_dns_sd::Calls();
  ASSERT_FALSE(calls.empty());
  const fake_dns_sd::Call reg = calls[0];
  EXPECT_EQ(reg.function, "DNSServiceRegister");
  EXPECT_EQ(reg.flags, 0u);
  EXPECT_EQ(reg.interface_index, 0u);
  EXPECT_EQ(reg.name, "Kitchen");
  EXPECT_EQ(reg.regtype, "_xyz._tcp");
  EXPECT_TRUE(reg.domain_null);
  EXPECT_TRUE(reg.host_null);
  EXPECT_EQ(reg.port, htons(4242));
  EXPECT_EQ(reg.txt, std::string("\x03"
                                 "a=1",
                                 4));
  EXPECT_TRUE(reg.callback_set);
  // One dispatch per readable event: two forerunners, then the reply.
  EXPECT_THAT(fake_dns_sd::CalledFunctions(),
              ElementsAre("DNSServiceRegister", "DNSServiceRefSockFD",
                          "DNSServiceProcessResult", "DNSServiceProcessResult",
                          "DNSServiceProcessResult"));
  EXPECT_THAT(Log(),
              ElementsAre("I Registering mdns service instance: "
                          "Kitchen._xyz._tcp",
                          "I Request succeeded "
                          "service_instance_id=Kitchen._xyz._tcp message: "));

  responder_->RemoveService(kType, "Kitchen");
  responder_.reset();
  calls = fake_dns_sd::Calls();
  EXPECT_EQ(calls.back().function, "DNSServiceRefDeallocate");
  EXPECT_EQ(calls.back().ref, reg.ref);
  EXPECT_THAT(Log(), Contains("I Unregistering mdns service instance: "
                              "Kitchen._xyz._tcp"));
}

TEST_F(BonjourMdnsResponderTest, TxtRecordBytesPassUnchanged) {
  const std::string with_nuls(
      "\x04"
      "a=\0b"
      "\x00"
      "\x02"
      "c=",
      9);
  responder_->AddService(kType, "Empty", 1, "", answers_.Callback("empty"));
  responder_->AddService(kType, "Nuls", 2, with_nuls, answers_.Callback("nul"));
  responder_->UpdateTxtRecord(kType, "Nuls", std::string("\0\0", 2),
                              answers_.Callback("update"));
  EXPECT_THAT(answers_.WaitFor(3), Each(IsAnswer(MdnsResponder::SUCCESS, "")));

  std::vector<fake_dns_sd::Call> calls = fake_dns_sd::Calls();
  std::vector<std::string> txts;
  for (const fake_dns_sd::Call& call : calls) {
    if (call.function == "DNSServiceRegister" ||
        call.function == "DNSServiceUpdateRecord") {
      EXPECT_FALSE(call.txt_null);
      txts.push_back(call.txt);
    }
  }
  EXPECT_THAT(txts, ElementsAre("", with_nuls, std::string("\0\0", 2)));
}

// The daemon renames an instance on a conflict, at registration or later (a
// link comes up onto a namesake). The name is logged whenever it differs
// from the asked one; results and requests keep using the asked name.
TEST_F(BonjourMdnsResponderTest, RenamesAreLoggedRequestsKeepTheAskedName) {
  Registration renamed;
  renamed.reply_name = "Kitchen #2";
  fake_dns_sd::ScriptNextRegistration(renamed);
  ASSERT_NO_FATAL_FAILURE(Register("Kitchen"));
  ASSERT_NO_FATAL_FAILURE(Register("Hall"));
  EXPECT_THAT(Log(), ElementsAre("I Registering mdns service instance: "
                                 "Kitchen._xyz._tcp",
                                 "I Kitchen._xyz._tcp is advertised as "
                                 "'Kitchen #2'",
                                 "I Request succeeded "
                                 "service_instance_id=Kitchen._xyz._tcp "
                                 "message: ",
                                 "I Registering mdns service instance: "
                                 "Hall._xyz._tcp",
                                 "I Request succeeded "
                                 "service_instance_id=Hall._xyz._tcp "
                                 "message: "));
  const std::vector<fake_dns_sd::Call> registers = RegisterCalls();
  ASSERT_EQ(registers.size(), 2u);

  // Later replies: each name that differs from the asked one, and the
  // return to it, is news.
  const struct {
    const char* instance;
    const char* reply;
    const char* logged;  // Null: nothing.
  } kLater[] = {
      {"Kitchen", "Kitchen #3",
       "I Kitchen._xyz._tcp is advertised as "
       "'Kitchen #3'"},
      {"Kitchen", "Kitchen #3",
       "I Kitchen._xyz._tcp is advertised as "
       "'Kitchen #3'"},
      {"Kitchen", "Kitchen", "I Kitchen._xyz._tcp is advertised as 'Kitchen'"},
      {"Kitchen", "Kitchen", nullptr},
      {"Hall", "Hall", nullptr},
      {"Hall", "Hall #2", "I Hall._xyz._tcp is advertised as 'Hall #2'"},
  };
  for (const auto& later : kLater) {
    SCOPED_TRACE(std::string(later.instance) + " -> " + later.reply);
    const DNSServiceRef ref =
        registers[std::string(later.instance) == "Kitchen" ? 0 : 1].ref;
    auto dispatches = [ref] {
      int count = 0;
      for (const fake_dns_sd::Call& call : fake_dns_sd::Calls()) {
        count += call.function == "DNSServiceProcessResult" && call.ref == ref;
      }
      return count;
    };
    const int before = dispatches();
    const size_t logged = Log().size();
    ASSERT_TRUE(fake_dns_sd::RenameLater(later.instance, later.reply));
    ASSERT_TRUE(Eventually([&] { return dispatches() > before; }));
    std::vector<std::string> log = Log();
    if (later.logged) {
      ASSERT_TRUE(Eventually([&] { return Log().size() > logged; }));
      log = Log();
      EXPECT_EQ(log.back(), later.logged);
    } else {
      EXPECT_EQ(log.size(), logged) << log.back();
    }
  }

  // Requests under the asked name reach the renamed registration.
  responder_->UpdateTxtRecord(kType, "Kitchen", "\x03v=2",
                              answers_.Callback("upd"));
  std::vector<Answer> answers = answers_.WaitFor(3);
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_THAT(answers[2], IsAnswer(MdnsResponder::SUCCESS, ""));
  EXPECT_EQ(fake_dns_sd::Calls().back().function, "DNSServiceUpdateRecord");
  EXPECT_EQ(fake_dns_sd::Calls().back().ref, registers[0].ref);
  responder_->RemoveService(kType, "Kitchen");
  ASSERT_TRUE(Eventually([] { return fake_dns_sd::LiveReferences() == 1; }));
  EXPECT_EQ(fake_dns_sd::Calls().back().function, "DNSServiceRefDeallocate");
  EXPECT_EQ(fake_dns_sd::Calls().back().ref, registers[0].ref);
  EXPECT_THAT(Log(), Contains("I Unregistering mdns service instance: "
                              "Kitchen._xyz._tcp"));
}

TEST_F(BonjourMdnsResponderTest, DuplicateIsRefusedWithoutDnsSdCalls) {
  ASSERT_NO_FATAL_FAILURE(Register("Kitchen"));
  const size_t calls = fake_dns_sd::Calls().size();
  responder_->AddService(kType, "Kitchen", 81, "", answers_.Callback("dup"));
  std::vector<Answer> answers = answers_.WaitFor(2);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_THAT(answers[1], IsAnswer(MdnsResponder::FATAL_ERROR,
                                   "Duplicate service instance encountered"));
  EXPECT_EQ(fake_dns_sd::Calls().size(), calls);
  EXPECT_THAT(Log(), Contains("W Request failed "
                              "service_instance_id=Kitchen._xyz._tcp message: "
                              "Duplicate service instance encountered"));
  // Another type under the same name is another instance.
  responder_->AddService("_abc._udp", "Kitchen", 81, "",
                         answers_.Callback("other"));
  EXPECT_THAT(answers_.WaitFor(3).back(), IsAnswer(MdnsResponder::SUCCESS, ""));
}

TEST_F(BonjourMdnsResponderTest, RegisterErrorsMapToResults) {
  const struct {
    DNSServiceErrorType code;
    MdnsResponder::Result result;
  } kCases[] = {
      {-65563, MdnsResponder::NON_FATAL_ERROR},
      {kDNSServiceErr_Unknown, MdnsResponder::NON_FATAL_ERROR},
      {kDNSServiceErr_NameConflict, MdnsResponder::NON_FATAL_ERROR},
      {kDNSServiceErr_Invalid, MdnsResponder::NON_FATAL_ERROR},
      {kDNSServiceErr_NoMemory, MdnsResponder::FATAL_ERROR},
      {kDNSServiceErr_BadParam, MdnsResponder::FATAL_ERROR},
      {kDNSServiceErr_Incompatible, MdnsResponder::FATAL_ERROR},
  };
  for (const auto& c : kCases) {
    Registration failing;
    failing.register_error = c.code;
    fake_dns_sd::ScriptNextRegistration(failing);
    responder_->AddService(kType, "Kitchen", 4242, "", answers_.Callback(""));
  }
  std::vector<Answer> answers = answers_.WaitFor(std::size(kCases));
  ASSERT_EQ(answers.size(), std::size(kCases));
  for (size_t i = 0; i < answers.size(); ++i) {
    EXPECT_THAT(answers[i], IsAnswer(kCases[i].result,
                                     "DNSServiceRegister() failed error_code=" +
                                         std::to_string(kCases[i].code)));
  }
  // Nothing to deallocate, nothing registered.
  EXPECT_THAT(fake_dns_sd::CalledFunctions(), Each("DNSServiceRegister"));
  ASSERT_NO_FATAL_FAILURE(Register("Kitchen"));
}

TEST_F(BonjourMdnsResponderTest, FailedReplyLeavesNoTrace) {
  Registration conflict;
  conflict.reply_error = kDNSServiceErr_NameConflict;
  fake_dns_sd::ScriptNextRegistration(conflict);
  responder_->AddService(kType, "Kitchen", 4242, "", answers_.Callback("add"));
  responder_->UpdateTxtRecord(kType, "Kitchen", "", answers_.Callback("upd"));
  responder_->RemoveService(kType, "Kitchen");
  EXPECT_THAT(answers_.WaitFor(2),
              ElementsAre(IsAnswer(MdnsResponder::NON_FATAL_ERROR,
                                   "OnDNSServiceRegisterReply() failed "
                                   "error_code=-65548"),
                          IsAnswer(MdnsResponder::FATAL_ERROR,
                                   "Unknown service instance encountered")));
  const std::vector<fake_dns_sd::Call> calls = fake_dns_sd::Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().function, "DNSServiceRefDeallocate");
  EXPECT_EQ(calls.back().ref, calls.front().ref);
  ASSERT_NO_FATAL_FAILURE(Register("Kitchen"));
  EXPECT_THAT(Log(), Contains("W Can't remove unknown service instance: "
                              "Kitchen._xyz._tcp"));
}

TEST_F(BonjourMdnsResponderTest, ProcessResultFailures) {
  // Before the reply: the registration is given up.
  Registration broken;
  broken.process_error = kDNSServiceErr_Unknown;
  fake_dns_sd::ScriptNextRegistration(broken);
  responder_->AddService(kType, "Broken", 1, "", answers_.Callback(""));
  // After the reply: the reply's answer stands.
  Registration late;
  late.process_error_after_reply = kDNSServiceErr_BadParam;
  fake_dns_sd::ScriptNextRegistration(late);
  responder_->AddService(kType, "Late", 2, "", answers_.Callback(""));
  responder_->UpdateTxtRecord(kType, "Late", "", answers_.Callback(""));

  EXPECT_THAT(answers_.WaitFor(3),
              ElementsAre(IsAnswer(MdnsResponder::NON_FATAL_ERROR,
                                   "DNSServiceProcessResult() failed "
                                   "error_code=-65537"),
                          IsAnswer(MdnsResponder::SUCCESS, ""),
                          IsAnswer(MdnsResponder::SUCCESS, "")));
  EXPECT_EQ(fake_dns_sd::LiveReferences(), 1);
}

TEST_F(BonjourMdnsResponderTest, SilentDaemonTimesOutWithoutHoldingOthers) {
  Registration silent;
  silent.reply_delay = std::chrono::milliseconds(-1);
  fake_dns_sd::ScriptNextRegistration(silent);
  const auto start = std::chrono::steady_clock::now();
  responder_->AddService(kType, "Silent", 1, "", answers_.Callback("silent"));
  responder_->UpdateTxtRecord(kType, "Silent", "", answers_.Callback("upd"));
  responder_->AddService(kType, "Next", 2, "", answers_.Callback("next"));

  // The other instance is answered at once; the update waits behind its
  // instance's registration and finds it gone.
  EXPECT_THAT(answers_.WaitFor(3),
              ElementsAre(IsAnswer(MdnsResponder::SUCCESS, ""),
                          IsAnswer(MdnsResponder::NON_FATAL_ERROR,
                                   "OnDNSServiceRegisterReply() not called "
                                   "within timeout_ms=300"),
                          IsAnswer(MdnsResponder::FATAL_ERROR,
                                   "Unknown service instance encountered")));
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(300));
  // The silent registration was withdrawn; only the second one is alive.
  EXPECT_EQ(fake_dns_sd::LiveReferences(), 1);
}

// A name many devices share is renamed once per namesake before the daemon
// replies: each rename is a sign of the daemon, and only a daemon that gives
// none for the whole wait is taken for gone.
TEST_F(BonjourMdnsResponderTest, RenamesKeepARegistrationWaiting) {
  const struct {
    const char* name;
    int renames;
    std::chrono::milliseconds apart;
    MdnsResponder::Result result;
  } cases[] = {
      // 600 ms in all, each step well within the 300 ms wait.
      {"Busy", 6, std::chrono::milliseconds(100), MdnsResponder::SUCCESS},
      {"Silent", 1, std::chrono::milliseconds(900),
       MdnsResponder::NON_FATAL_ERROR},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    Registration renaming;
    renaming.events_before_reply = cases[i].renames;
    renaming.event_interval = cases[i].apart;
    renaming.reply_delay = std::chrono::milliseconds(1);
    fake_dns_sd::ScriptNextRegistration(renaming);
    responder_->AddService(kType, cases[i].name, 80, "",
                           answers_.Callback(cases[i].name));
    const std::vector<Answer> answers = answers_.WaitFor(i + 1);
    ASSERT_EQ(answers.size(), i + 1);
    EXPECT_EQ(answers[i].result, cases[i].result) << answers[i].message;
  }
}

TEST_F(BonjourMdnsResponderTest, RegistrationsAwaitTheirRepliesSideBySide) {
  responder_ = NewResponder(std::chrono::milliseconds(10000));
  constexpr int kCount = 10;
  Registration held;
  held.reply_delay = std::chrono::milliseconds(-1);
  for (int i = 0; i < kCount; ++i) {
    fake_dns_sd::ScriptNextRegistration(held);
    responder_->AddService(kType, "S" + std::to_string(i), 1000 + i, "",
                           answers_.Callback(std::to_string(i)));
  }
  // All ten reach the daemon while none of them has its reply.
  ASSERT_TRUE(Eventually([] { return RegisterCalls().size() == kCount; }))
      << RegisterCalls().size() << " registrations started";
  EXPECT_THAT(answers_.WaitFor(0), IsEmpty());
  fake_dns_sd::ReleaseHeldReplies();
  std::vector<Answer> answers = answers_.WaitFor(kCount);
  EXPECT_THAT(answers, Each(IsAnswer(MdnsResponder::SUCCESS, "")));
  EXPECT_EQ(answers.size(), static_cast<size_t>(kCount));
}

TEST_F(BonjourMdnsResponderTest, RequestsBehindAPendingRegistrationKeepOrder) {
  responder_ = NewResponder(std::chrono::milliseconds(10000));
  Registration held;
  held.reply_delay = std::chrono::milliseconds(-1);
  fake_dns_sd::ScriptNextRegistration(held);
  responder_->AddService(kType, "Kitchen", 1, "", answers_.Callback("add"));
  responder_->UpdateTxtRecord(kType, "Kitchen", "v=2",
                              answers_.Callback("update"));
  responder_->RemoveService(kType, "Kitchen");
  responder_->AddService(kType, "Kitchen", 2, "", answers_.Callback("again"));
  // Another instance does not wait.
  responder_->AddService(kType, "Hall", 3, "", answers_.Callback("hall"));
  std::vector<Answer> answers = answers_.WaitFor(1);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].tag, "hall");
  EXPECT_THAT(fake_dns_sd::CalledFunctions(),
              Not(Contains("DNSServiceUpdateRecord")));

  fake_dns_sd::ReleaseHeldReplies();
  answers = answers_.WaitFor(4);
  std::vector<std::string> tags;
  for (const Answer& answer : answers) {
    tags.push_back(answer.tag);
    EXPECT_THAT(answer, IsAnswer(MdnsResponder::SUCCESS, ""));
  }
  EXPECT_THAT(tags, ElementsAre("hall", "add", "update", "again"));
  // The update went to the first registration, which was then withdrawn
  // before the second one started.
  ASSERT_EQ(RegisterCalls().size(), 3u);
  const DNSServiceRef hall = RegisterCalls()[1].ref;
  std::vector<fake_dns_sd::Call> kitchen;
  for (const fake_dns_sd::Call& call : fake_dns_sd::Calls()) {
    if (call.function != "DNSServiceRefSockFD" &&
        call.function != "DNSServiceProcessResult" && call.ref != hall) {
      kitchen.push_back(call);
    }
  }
  ASSERT_THAT(kitchen, testing::SizeIs(4));
  EXPECT_EQ(kitchen[0].function, "DNSServiceRegister");
  EXPECT_EQ(kitchen[1].function, "DNSServiceUpdateRecord");
  EXPECT_EQ(kitchen[1].ref, kitchen[0].ref);
  EXPECT_EQ(kitchen[2].function, "DNSServiceRefDeallocate");
  EXPECT_EQ(kitchen[2].ref, kitchen[0].ref);
  EXPECT_EQ(kitchen[3].function, "DNSServiceRegister");
  EXPECT_EQ(kitchen[3].port, htons(2));
}

TEST_F(BonjourMdnsResponderTest, UpdateTxtRecord) {
  responder_->UpdateTxtRecord(kType, "Kitchen", "x", answers_.Callback(""));
  EXPECT_THAT(answers_.WaitFor(1),
              ElementsAre(IsAnswer(MdnsResponder::FATAL_ERROR,
                                   "Unknown service instance encountered")));
  EXPECT_THAT(fake_dns_sd::Calls(), IsEmpty());

  // Queued right behind the registration from the same thread: it finds it.
  responder_->AddService(kType, "Kitchen", 1, "", answers_.Callback(""));
  responder_->UpdateTxtRecord(kType, "Kitchen",
                              "\x03"
                              "b=2",
                              answers_.Callback(""));
  std::vector<Answer> answers = answers_.WaitFor(3);
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_THAT(answers[1], IsAnswer(MdnsResponder::SUCCESS, ""));
  EXPECT_THAT(answers[2], IsAnswer(MdnsResponder::SUCCESS, ""));
  std::vector<fake_dns_sd::Call> calls = fake_dns_sd::Calls();
  ASSERT_FALSE(calls.empty());
  const fake_dns_sd::Call update = calls.back();
  EXPECT_EQ(update.function, "DNSServiceUpdateRecord");
  EXPECT_EQ(update.ref, calls.front().ref);
  EXPECT_TRUE(update.record_ref_null);
  EXPECT_EQ(update.flags, 0u);
  EXPECT_EQ(update.txt,
            "\x03"
            "b=2");
  EXPECT_EQ(update.ttl, 0u);
  EXPECT_THAT(Log(), Contains("I Updating txt record for service instance: "
                              "Kitchen._xyz._tcp"));

  // A refused update keeps the registration; an empty callback is allowed.
  fake_dns_sd::SetUpdateError(kDNSServiceErr_Unsupported);
  responder_->UpdateTxtRecord(kType, "Kitchen", "", answers_.Callback(""));
  responder_->UpdateTxtRecord(kType, "Kitchen", "", {});
  answers_.WaitFor(4);
  fake_dns_sd::SetUpdateError(kDNSServiceErr_NoMemory);
  responder_->UpdateTxtRecord(kType, "Kitchen", "", answers_.Callback(""));
  answers = answers_.WaitFor(5);
  ASSERT_EQ(answers.size(), 5u);
  EXPECT_THAT(answers[3],
              IsAnswer(MdnsResponder::NON_FATAL_ERROR,
                       "DNSServiceUpdateRecord failed. error_code=-65544"));
  EXPECT_THAT(answers[4],
              IsAnswer(MdnsResponder::FATAL_ERROR,
                       "DNSServiceUpdateRecord failed. error_code=-65539"));
  responder_.reset();
  EXPECT_THAT(Log(), Contains("I Unregistering mdns service instance: "
                              "Kitchen._xyz._tcp"));
}

// A frozen daemon would hold each withdrawal for as long as the bus lets
// it: the destructor returns after its bound all the same, and says so.
TEST_F(BonjourMdnsResponderTest, DestructionAnswersThenWithdrawsEverything) {
  const std::string abandoned =
      "W Withdrawal abandoned: the mDNS daemon did not answer within 200 ms; "
      "3 service instance(s) are withdrawn once it answers";
  for (const bool frozen : {false, true}) {
    SCOPED_TRACE(frozen ? "frozen daemon" : "daemon answers");
    Answers answers;
    responder_ = NewResponder(std::chrono::milliseconds(300));
    for (const char* name : {"One", "Two"}) {
      responder_->AddService(kType, name, 80, "", answers.Callback(name));
      answers.WaitFor(name[1] == 'n' ? 1 : 2);
    }
    Registration slow;
    slow.reply_delay = std::chrono::milliseconds(100);
    fake_dns_sd::ScriptNextRegistration(slow);
    const size_t registered = RegisterCalls().size();
    responder_->AddService(kType, "Three", 3, "", answers.Callback("three"));
    // Frozen once the registration is under way, its reply still to come.
    ASSERT_TRUE(
        Eventually([&] { return RegisterCalls().size() == registered + 1; }));
    const size_t logged = Log().size();
    if (frozen)
      fake_dns_sd::FreezeDaemon();
    responder_.reset();

    // Answered before the destructor returned, not after.
    std::vector<Answer> all = answers.WaitFor(0);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_THAT(all, Each(IsAnswer(MdnsResponder::SUCCESS, "")));
    EXPECT_EQ(fake_dns_sd::LiveReferences(), frozen ? 3 : 0);
    std::vector<std::string> log = Log();
    std::vector<std::string> after;
    for (size_t i = logged; i < log.size(); ++i) {
      if (log[i].find("Registering") == std::string::npos &&
          log[i].find("Request succeeded") == std::string::npos) {
        after.push_back(log[i]);
      }
    }
    std::vector<std::string> withdrawn = {
        "I Unregistering mdns service instance: One._xyz._tcp",
        "I Unregistering mdns service instance: Two._xyz._tcp",
        "I Unregistering mdns service instance: Three._xyz._tcp"};
    if (frozen)
      withdrawn.push_back(abandoned);
    EXPECT_THAT(after, testing::UnorderedElementsAreArray(withdrawn));
    // Abandoned withdrawals go on by themselves.
    fake_dns_sd::ThawDaemon();
    EXPECT_TRUE(Eventually([] { return fake_dns_sd::LiveReferences() == 0; }));
    std::vector<std::string> functions = fake_dns_sd::CalledFunctions();
    ASSERT_GE(functions.size(), 3u);
    EXPECT_THAT(std::vector<std::string>(functions.end() - 3, functions.end()),
                Each("DNSServiceRefDeallocate"));
  }
}

// A daemon that freezes as it comes back holds the registration of our own
// under way for as long as the bus lets it; the owner's shutdown must not
// wait for it. The registration goes on by itself and withdraws what it
// made once the daemon answers.
TEST_F(BonjourMdnsResponderTest, ShutdownDoesNotWaitForARegistrationOfItsOwn) {
  ASSERT_NO_FATAL_FAILURE(Register("Kitchen"));
  fake_dns_sd::StopDaemon();
  ASSERT_TRUE(Eventually([this] {
    const std::vector<std::string> log = Log();
    return std::any_of(log.begin(), log.end(), [](const std::string& line) {
      return line.rfind("W Lost mdns service instances", 0) == 0;
    });
  }));
  fake_dns_sd::FreezeDaemon();
  fake_dns_sd::StartDaemon();
  ASSERT_TRUE(Eventually([] { return fake_dns_sd::FrozenCalls() == 1; }));

  auto destroyed =
      std::async(std::launch::async, [this] { responder_.reset(); });
  const bool returned = destroyed.wait_for(kWait) == std::future_status::ready;
  EXPECT_TRUE(returned) << "the destructor waited for the frozen daemon";
  EXPECT_EQ(fake_dns_sd::FrozenCalls(), 1);
  EXPECT_THAT(Log(), Contains("I Unregistering mdns service instance: "
                              "Kitchen._xyz._tcp"));
  fake_dns_sd::ThawDaemon();
  destroyed.wait();
  // Made once thawed, then withdrawn by its own thread.
  EXPECT_TRUE(Eventually([] {
    const std::vector<std::string> functions = fake_dns_sd::CalledFunctions();
    return fake_dns_sd::LiveReferences() == 0 && !functions.empty() &&
           functions.back() == "DNSServiceRefDeallocate" &&
           RegisterCalls().size() == 2;
  }));
  const std::vector<fake_dns_sd::Call> registers = RegisterCalls();
  ASSERT_EQ(registers.size(), 2u);
  EXPECT_EQ(registers[1].thread, "MdnsRegister");
  EXPECT_EQ(registers[1].name, "Kitchen");
}

// What the DNS-SD layer cannot take is refused before it sees it
// (mdns_argument_checks_test.cc has the cases of each check).
TEST_F(BonjourMdnsResponderTest, InvalidArgumentsNeverReachDnsSd) {
  std::string too_long_txt;
  for (int i = 0; i < 256; ++i)
    too_long_txt += static_cast<char>(255) + std::string(255, 't');
  const struct {
    std::string type;
    std::string name;
    std::string txt;
    std::string message;
  } kCases[] = {
      {kType, "Bad\xff\xfe", "", "Invalid instance name: not valid UTF-8"},
      {"_xyz._sctp", "T", "",
       "Invalid service type: not of the form _name._tcp or _name._udp"},
      {kType, "T",
       "\x05"
       "ab",
       "Invalid TXT record: the string at byte 0 "
       "has length 5, past the end"},
  };
  ASSERT_NO_FATAL_FAILURE(Register("Valid"));
  for (const auto& c : kCases)
    responder_->AddService(c.type, c.name, 1, c.txt, answers_.Callback(""));
  responder_->UpdateTxtRecord(kType, "Valid", too_long_txt,
                              answers_.Callback(""));
  std::vector<Answer> answers = answers_.WaitFor(std::size(kCases) + 2);
  ASSERT_EQ(answers.size(), std::size(kCases) + 2);
  for (size_t i = 0; i < std::size(kCases); ++i) {
    EXPECT_THAT(answers[i + 1],
                IsAnswer(MdnsResponder::FATAL_ERROR, kCases[i].message))
        << "case " << i;
  }
  EXPECT_THAT(answers.back(),
              IsAnswer(MdnsResponder::FATAL_ERROR,
                       "Invalid TXT record: 65536 bytes, more than 65535"));
  // Only the valid registration reached the library.
  EXPECT_EQ(RegisterCalls().size(), 1u);
  EXPECT_THAT(fake_dns_sd::CalledFunctions(),
              Not(Contains("DNSServiceUpdateRecord")));
}

TEST_F(BonjourMdnsResponderTest, ArgumentsAtTheLimitsPass) {
  std::string longest_txt;
  for (int i = 0; i < 255; ++i)
    longest_txt += static_cast<char>(255) + std::string(255, 't');
  longest_txt += static_cast<char>(254) + std::string(254, 'u');
  ASSERT_EQ(longest_txt.size(), 65535u);
  const struct {
    std::string type;
    std::string name;
    std::string txt;
  } kCases[] = {
      {kType, std::string(63, 'n'), ""},
      // Two-, three- and four-byte characters; 63 bytes.
      {kType,
       "K\xc3\xbc"
       "che \xe2\x82\xac \xf0\x9f\x8e\xb5" +
           std::string(48, 'x'),
       ""},
      {kType, "", ""},
      {"_" + std::string(62, 'a') + "._tcp", "T", ""},
      {"_a-b_c9._UDP", "T", ""},
      {kType, "Txt", longest_txt},
      {kType, "Empty strings", std::string("\0\0", 2)},
  };
  ASSERT_EQ(kCases[1].name.size(), 63u);
  for (const auto& c : kCases)
    responder_->AddService(c.type, c.name, 1, c.txt, answers_.Callback(""));
  EXPECT_THAT(answers_.WaitFor(std::size(kCases)),
              Each(IsAnswer(MdnsResponder::SUCCESS, "")));
  std::vector<fake_dns_sd::Call> registers = RegisterCalls();
  ASSERT_EQ(registers.size(), std::size(kCases));
  EXPECT_EQ(registers[5].txt, longest_txt);
}

// How the daemon's loss reaches the responder: Avahi's library calls the
// reply callback, mDNSResponder's fails DNSServiceProcessResult (and keeps
// the socket readable).
struct Loss {
  fake_dns_sd::LossReport how;
  DNSServiceErrorType error;
};

void PrintTo(const Loss& loss, std::ostream* out) {
  *out << (loss.how == fake_dns_sd::LossReport::kReplyCallback
               ? "reply callback "
               : "DNSServiceProcessResult ")
       << loss.error;
}

class BonjourMdnsResponderLossTest : public BonjourMdnsResponderTest,
                                     public testing::WithParamInterface<Loss> {
 protected:
  void SetUp() override {
    BonjourMdnsResponderTest::SetUp();
    responder_ = NewResponder(std::chrono::milliseconds(2000), kMaxRetry);
  }

  void StopDaemon() {
    fake_dns_sd::StopDaemon(GetParam().error, GetParam().how);
  }
  std::string Code() const { return std::to_string(GetParam().error); }

  // Waits for a log line; true once it is there.
  bool Logged(const std::string& line) {
    return Eventually([&] {
      std::vector<std::string> log = Log();
      return std::find(log.begin(), log.end(), line) != log.end();
    });
  }
  int CountLog(const std::string& prefix) {
    int count = 0;
    for (const std::string& line : Log())
      count += line.rfind(prefix, 0) == 0;
    return count;
  }

  static constexpr std::chrono::milliseconds kMaxRetry{200};
};

INSTANTIATE_TEST_SUITE_P(Avahi,
                         BonjourMdnsResponderLossTest,
                         testing::Values(Loss{
                             fake_dns_sd::LossReport::kReplyCallback,
                             kDNSServiceErr_Unknown}));
INSTANTIATE_TEST_SUITE_P(MdnsResponder,
                         BonjourMdnsResponderLossTest,
                         testing::Values(Loss{
                             fake_dns_sd::LossReport::kProcessResult, -65563}));

TEST_P(BonjourMdnsResponderLossTest, RegistersEverythingAgainByItself) {
  for (const char* name : {"A", "B", "C"})
    ASSERT_NO_FATAL_FAILURE(Register(name));
  StopDaemon();
  ASSERT_TRUE(Logged("W Lost mdns service instances error_code=" + Code() +
                     ", registering them again when the daemon is back: "
                     "A._xyz._tcp, B._xyz._tcp, C._xyz._tcp"));

  // While it is away: a removal is for good, an update is refused but kept,
  // a registration is refused.
  responder_->RemoveService(kType, "B");
  responder_->UpdateTxtRecord(kType, "C", "\x03v=2", answers_.Callback("upd"));
  responder_->AddService(kType, "D", 4, "", answers_.Callback("add"));
  std::vector<Answer> answers = answers_.WaitFor(5);
  ASSERT_EQ(answers.size(), 5u);
  EXPECT_THAT(answers[3],
              IsAnswer(MdnsResponder::NON_FATAL_ERROR,
                       "DNSServiceUpdateRecord failed. error_code=" + Code()));
  EXPECT_THAT(answers[4],
              IsAnswer(MdnsResponder::NON_FATAL_ERROR,
                       "DNSServiceRegister() failed error_code=" + Code()));
  EXPECT_TRUE(Logged("I Unregistering mdns service instance: B._xyz._tcp"));
  // While it stays away: the loss's tries (at 100 and 300 ms), then none;
  // a count, so a loaded machine can make it only smaller.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const size_t before_return = RegisterCalls().size();
  EXPECT_LE(before_return, 3u + 1u + 2u);
  EXPECT_GE(before_return, 3u + 1u + 1u);

  fake_dns_sd::StartDaemon();
  ASSERT_TRUE(Logged("I Re-registered mdns service instance: A._xyz._tcp"));
  ASSERT_TRUE(Logged("I Re-registered mdns service instance: C._xyz._tcp"));
  std::vector<fake_dns_sd::Call> registers = RegisterCalls();
  std::vector<fake_dns_sd::Call> again;
  for (size_t i = before_return; i < registers.size(); ++i) {
    if (registers[i].result == kDNSServiceErr_NoError)
      again.push_back(registers[i]);
  }
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0].name, "A");
  EXPECT_EQ(again[0].txt, "");
  EXPECT_EQ(again[1].name, "C");
  EXPECT_EQ(again[1].regtype, kType);
  EXPECT_EQ(again[1].port, htons(80));
  EXPECT_EQ(again[1].txt, "\x03v=2");
  // The daemon's loss was read once per reference, then left alone.
  EXPECT_LE(fake_dns_sd::ProcessCallsAfterLoss(), 3);
  EXPECT_EQ(CountLog("W Lost mdns service instances"), 1);
  EXPECT_EQ(CountLog("I Re-registered"), 2);
  EXPECT_EQ(fake_dns_sd::LiveReferences(), 2);

  // Back to normal: updates reach the new registration; nothing is tried
  // any more.
  responder_->UpdateTxtRecord(kType, "C", "\x03v=3", answers_.Callback("upd"));
  answers = answers_.WaitFor(6);
  ASSERT_EQ(answers.size(), 6u);
  EXPECT_THAT(answers[5], IsAnswer(MdnsResponder::SUCCESS, ""));
  EXPECT_EQ(fake_dns_sd::Calls().back().ref, again[1].ref);
  const size_t calls = fake_dns_sd::Calls().size();
  std::this_thread::sleep_for(3 * kMaxRetry);
  EXPECT_EQ(fake_dns_sd::Calls().size(), calls);
  responder_.reset();
  EXPECT_EQ(CountLog("I Unregistering mdns service instance:"), 3);
}

TEST_P(BonjourMdnsResponderLossTest, RegistrationsInFlightAreAnsweredNotKept) {
  ASSERT_NO_FATAL_FAILURE(Register("Kept"));
  Registration held;
  held.reply_delay = std::chrono::milliseconds(-1);
  fake_dns_sd::ScriptNextRegistration(held);
  responder_->AddService(kType, "Pending", 2, "", answers_.Callback("pend"));
  responder_->UpdateTxtRecord(kType, "Pending", "", answers_.Callback("upd"));
  ASSERT_TRUE(Eventually([] { return RegisterCalls().size() == 2; }));
  StopDaemon();
  std::vector<Answer> answers = answers_.WaitFor(3);
  ASSERT_EQ(answers.size(), 3u);
  const std::string reply_failed =
      GetParam().how == fake_dns_sd::LossReport::kReplyCallback
          ? "OnDNSServiceRegisterReply() failed error_code="
          : "DNSServiceProcessResult() failed error_code=";
  EXPECT_THAT(answers[1],
              IsAnswer(MdnsResponder::NON_FATAL_ERROR, reply_failed + Code()));
  EXPECT_THAT(answers[2], IsAnswer(MdnsResponder::FATAL_ERROR,
                                   "Unknown service instance encountered"));
  ASSERT_TRUE(Logged("W Lost mdns service instances error_code=" + Code() +
                     ", registering them again when the daemon is back: "
                     "Kept._xyz._tcp"));
  // Someone took the name meanwhile: the daemon renames ours.
  Registration renamed;
  renamed.reply_name = "Kept #2";
  fake_dns_sd::ScriptNextRegistration(renamed);
  fake_dns_sd::StartDaemon();
  ASSERT_TRUE(Logged("I Re-registered mdns service instance: Kept._xyz._tcp"));
  EXPECT_TRUE(Logged("I Kept._xyz._tcp is advertised as 'Kept #2'"));
  EXPECT_EQ(CountLog("I Re-registered"), 1);

  // Registered again after the next loss under the name it held, so that
  // it does not move on the network; the id stays the asked one.
  StopDaemon();
  ASSERT_TRUE(Eventually([this] { return CountLog("W Lost") == 2; }));
  fake_dns_sd::StartDaemon();
  ASSERT_TRUE(Eventually([this] { return CountLog("I Re-registered") == 2; }));
  const std::vector<fake_dns_sd::Call> registers = RegisterCalls();
  ASSERT_GE(registers.size(), 2u);
  EXPECT_EQ(registers[registers.size() - 2].name, "Kept");
  EXPECT_EQ(registers.back().name, "Kept #2");
  responder_->UpdateTxtRecord(kType, "Kept", "\x03k=1", answers_.Callback(""));
  EXPECT_THAT(answers_.WaitFor(4).back(), IsAnswer(MdnsResponder::SUCCESS, ""));
}

TEST_P(BonjourMdnsResponderLossTest, NameTakenMeanwhileIsGivenUpOnce) {
  ASSERT_NO_FATAL_FAILURE(Register("A"));
  ASSERT_NO_FATAL_FAILURE(Register("B"));
  StopDaemon();
  ASSERT_TRUE(Logged("W Lost mdns service instances error_code=" + Code() +
                     ", registering them again when the daemon is back: "
                     "A._xyz._tcp, B._xyz._tcp"));
  // Refused at once for A, in the reply for B.
  Registration refused;
  refused.register_error = kDNSServiceErr_NameConflict;
  fake_dns_sd::ScriptNextRegistration(refused);
  Registration conflict;
  conflict.reply_error = kDNSServiceErr_NameConflict;
  fake_dns_sd::ScriptNextRegistration(conflict);
  fake_dns_sd::StartDaemon();
  for (const char* id : {"A._xyz._tcp", "B._xyz._tcp"}) {
    EXPECT_TRUE(Logged(std::string("W Can't re-register mdns service "
                                   "instance: ") +
                       id + " error_code=-65548; it stays withdrawn"));
  }
  const size_t registers = RegisterCalls().size();
  std::this_thread::sleep_for(3 * kMaxRetry);
  EXPECT_EQ(RegisterCalls().size(), registers);
  EXPECT_EQ(fake_dns_sd::LiveReferences(), 0);

  // Unknown from now on; the host may register the name anew.
  responder_->UpdateTxtRecord(kType, "A", "", answers_.Callback("upd"));
  responder_->RemoveService(kType, "B");
  responder_->AddService(kType, "B", 5, "", answers_.Callback("add"));
  std::vector<Answer> answers = answers_.WaitFor(4);
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_THAT(answers[2], IsAnswer(MdnsResponder::FATAL_ERROR,
                                   "Unknown service instance encountered"));
  EXPECT_THAT(answers[3], IsAnswer(MdnsResponder::SUCCESS, ""));
  EXPECT_TRUE(Logged("W Can't remove unknown service instance: B._xyz._tcp"));
}

TEST_P(BonjourMdnsResponderLossTest, DestructionDuringAnOutageIsPrompt) {
  // A reply that would take a minute, for the registration made when the
  // daemon comes back: destruction must not wait for it.
  responder_ = NewResponder(std::chrono::milliseconds(60000), kMaxRetry);
  for (const char* name : {"A", "B"})
    ASSERT_NO_FATAL_FAILURE(Register(name));
  StopDaemon();
  ASSERT_TRUE(Logged("W Lost mdns service instances error_code=" + Code() +
                     ", registering them again when the daemon is back: "
                     "A._xyz._tcp, B._xyz._tcp"));
  Registration silent;
  silent.reply_delay = std::chrono::milliseconds(-1);
  fake_dns_sd::ScriptNextRegistration(silent);
  const size_t registers = RegisterCalls().size();
  fake_dns_sd::StartDaemon();
  // A is being registered again (silently), B waits for its turn or is on
  // its way too.
  ASSERT_TRUE(Eventually([&] { return RegisterCalls().size() > registers; }));

  std::promise<void> destroyed;
  std::thread destroyer([&] {
    responder_.reset();
    destroyed.set_value();
  });
  const bool prompt =
      destroyed.get_future().wait_for(std::chrono::seconds(10)) ==
      std::future_status::ready;
  destroyer.join();
  EXPECT_TRUE(prompt) << "destruction waited for the silent reply";
  EXPECT_EQ(CountLog("I Unregistering mdns service instance:"), 2);
}

// Forks without the re-exec of the threadsafe style, which qemu user-mode
// emulation cannot follow; the responder and its thread live in the child.
TEST(BonjourMdnsResponderDeathTest, RegistrationNeedsACallback) {
  EXPECT_DEATH(
      {
        BonjourMdnsResponder responder;
        responder.AddService(kType, "Kitchen", 1, "", {});
      },
      "Failed: result_cb_ ");
}

// The status line's part: advertised as the name the network shows, or why
// not, through a refusal, a rename, the daemon's loss and return and a
// withdrawal.
TEST_F(BonjourMdnsResponderTest, ReportsTheAdvertisementForTheStatusLine) {
  auto reports = [] {
    std::lock_guard<std::mutex> lock(g_reports_mutex);
    return std::exchange(g_reports, {});
  };
  reports();
  const struct {
    DNSServiceErrorType code;
    const char* report;
  } kRefusals[] = {
      {-65563, "mdns: not advertised: the mDNS daemon is not running"},
      {kDNSServiceErr_NameConflict,
       "mdns: not advertised: the mDNS daemon refused it (error -65548)"},
  };
  size_t answered = 0;
  for (const auto& refusal : kRefusals) {
    Registration failing;
    failing.register_error = refusal.code;
    fake_dns_sd::ScriptNextRegistration(failing);
    responder_->AddService(kType, "Kitchen", 4242, "", answers_.Callback(""));
    ASSERT_EQ(answers_.WaitFor(++answered).size(), answered);
    EXPECT_THAT(reports(), ElementsAre(refusal.report));
  }

  Registration renamed;
  renamed.reply_name = "Kitchen #2";
  fake_dns_sd::ScriptNextRegistration(renamed);
  ASSERT_NO_FATAL_FAILURE(Register("Kitchen"));
  EXPECT_THAT(reports(), ElementsAre("mdns: advertised as 'Kitchen #2'"));

  fake_dns_sd::StopDaemon();
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard<std::mutex> lock(g_reports_mutex);
    return !g_reports.empty();
  }));
  EXPECT_THAT(reports(), ElementsAre("mdns: not advertised: the mDNS daemon "
                                     "went away; registering again when it "
                                     "is back"));
  fake_dns_sd::StartDaemon();
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard<std::mutex> lock(g_reports_mutex);
    return !g_reports.empty();
  }));
  // The name it held, asked for again and kept.
  EXPECT_THAT(reports(), Contains("mdns: advertised as 'Kitchen #2'"));

  responder_->RemoveService(kType, "Kitchen");
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard<std::mutex> lock(g_reports_mutex);
    return !g_reports.empty();
  }));
  EXPECT_THAT(reports(), ElementsAre("mdns: not advertised: withdrawn"));
}

}  // namespace
}  // namespace assistant_reference
