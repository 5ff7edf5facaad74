#include "platform/net/bonjour/bonjour_mdns_responder.h"

#include <arpa/inet.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "core/logging.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/net/bonjour/fake_dns_sd.h"

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

// Log lines of every thread, without the "[SEVERITY:file(line)] " prefix.
struct LogLines {
  std::mutex mutex;
  std::vector<std::string> lines;
};
LogLines* g_log = nullptr;

bool CaptureLine(int severity, const std::string& line) {
  if (!g_log || severity == core::LOG_FATAL)
    return false;
  const size_t start = line.find("] ") + 2;
  std::lock_guard<std::mutex> lock(g_log->mutex);
  g_log->lines.push_back((severity == core::LOG_WARNING ? "W " : "I ") +
                         line.substr(start, line.size() - start - 1));
  return true;
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

class BonjourMdnsResponderTest : public testing::Test {
 protected:
  void SetUp() override {
    fake_dns_sd::Reset();
    g_log = &log_;
    core::SetLogMessageHandler(&CaptureLine);
  }
  void TearDown() override {
    responder_.reset();
    core::SetLogMessageHandler(nullptr);
    g_log = nullptr;
    // Every DNS-SD call is on the responder thread, no call ever waits on
    // a silent socket, and nothing leaks or is released twice.
    EXPECT_THAT(fake_dns_sd::Calls(),
                Each(Field(&fake_dns_sd::Call::thread, kThreadName)));
    EXPECT_EQ(fake_dns_sd::BlindProcessCalls(), 0);
    EXPECT_EQ(fake_dns_sd::LiveReferences(), 0);
    EXPECT_EQ(fake_dns_sd::BadDeallocations(), 0);
  }

  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(log_.mutex);
    return log_.lines;
  }

  // Registers |name| and waits for the answer, which must be SUCCESS.
  void Register(const std::string& name) {
    const size_t before = answers_.WaitFor(0).size();
    responder_->AddService(kType, name, 80, "", answers_.Callback(name));
    std::vector<Answer> all = answers_.WaitFor(before + 1);
    ASSERT_GT(all.size(), before);
    ASSERT_EQ(all[before].result, MdnsResponder::SUCCESS)
        << all[before].message;
  }

  LogLines log_;
  Answers answers_;
  std::unique_ptr<BonjourMdnsResponder> responder_ =
      std::make_unique<BonjourMdnsResponder>(std::chrono::milliseconds(300));
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

TEST_F(BonjourMdnsResponderTest, SilentDaemonTimesOutAndQueueMovesOn) {
  Registration silent;
  silent.reply_delay = std::chrono::milliseconds(-1);
  fake_dns_sd::ScriptNextRegistration(silent);
  const auto start = std::chrono::steady_clock::now();
  responder_->AddService(kType, "Silent", 1, "", answers_.Callback(""));
  responder_->AddService(kType, "Next", 2, "", answers_.Callback(""));

  EXPECT_THAT(answers_.WaitFor(2),
              ElementsAre(IsAnswer(MdnsResponder::NON_FATAL_ERROR,
                                   "OnDNSServiceRegisterReply() not called "
                                   "within timeout_ms=300"),
                          IsAnswer(MdnsResponder::SUCCESS, "")));
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(300));
  // The silent registration was withdrawn; only the second one is alive.
  EXPECT_EQ(fake_dns_sd::LiveReferences(), 1);
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

TEST_F(BonjourMdnsResponderTest, DestructionAnswersThenWithdrawsEverything) {
  ASSERT_NO_FATAL_FAILURE(Register("One"));
  ASSERT_NO_FATAL_FAILURE(Register("Two"));
  Registration slow;
  slow.reply_delay = std::chrono::milliseconds(100);
  fake_dns_sd::ScriptNextRegistration(slow);
  responder_->AddService(kType, "Three", 3, "", answers_.Callback("three"));
  responder_.reset();

  // Answered before the destructor returned, not after.
  std::vector<Answer> answers = answers_.WaitFor(0);
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_THAT(answers[2], IsAnswer(MdnsResponder::SUCCESS, ""));
  std::vector<std::string> functions = fake_dns_sd::CalledFunctions();
  ASSERT_GE(functions.size(), 3u);
  EXPECT_THAT(std::vector<std::string>(functions.end() - 3, functions.end()),
              Each("DNSServiceRefDeallocate"));
  std::vector<std::string> log = Log();
  const auto succeeded = std::find(
      log.begin(), log.end(),
      "I Request succeeded service_instance_id=Three._xyz._tcp message: ");
  ASSERT_NE(succeeded, log.end());
  std::vector<std::string> after(succeeded + 1, log.end());
  EXPECT_THAT(after, testing::UnorderedElementsAre(
                         "I Unregistering mdns service instance: One._xyz._tcp",
                         "I Unregistering mdns service instance: Two._xyz._tcp",
                         "I Unregistering mdns service instance: "
                         "Three._xyz._tcp"));
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

}  // namespace
}  // namespace assistant_reference
