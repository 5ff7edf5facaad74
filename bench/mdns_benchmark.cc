// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Time from AddService to its result callback through the whole network
// plug-in (dlopen, factory, provider and responder structures, the
// responder's thread), against the same registration made here directly
// through dns_sd. The daemon's probing dominates both; the two are made in
// alternation so that they share the daemon's and the machine's load.
//
// Also: ten AddService calls at once against one alone, through the plug-in;
// the ten are answered together when their replies are awaited side by side.
//
// Needs a running mDNS daemon: inside scripts/mdns-sandbox it starts its own
// (scripts/bench runs it there); elsewhere without one the benchmarks are
// skipped with the reason.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <dns_sd.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/plugin_loader.h"
#include "testing/mdns_daemon.h"

namespace {

using Clock = std::chrono::steady_clock;
using assistant_client::MdnsResponder;

constexpr int kRegistrations = 10;  // Per kind and repetition; ~1 s each.
constexpr char kServiceType[] = "_vantorbench._tcp";
constexpr uint16_t kPort = 4242;
constexpr auto kTimeout = std::chrono::seconds(15);
// "txtvers=1" in DNS TXT form: a length byte, then the text.
const std::string kTxtRecord = std::string("\x09txtvers=1", 10);

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

std::string InstanceName(const char* kind, int i) {
  return std::string("vantor-bench-") + kind + "-" + std::to_string(getpid()) +
         "-" + std::to_string(i);
}

void DNSSD_API OnRegisterReply(DNSServiceRef,
                               DNSServiceFlags,
                               DNSServiceErrorType error,
                               const char*,
                               const char*,
                               const char*,
                               void* context) {
  *static_cast<DNSServiceErrorType*>(context) = error;
}

// One registration straight through dns_sd, as the responder makes it:
// register, wait until the reply is readable, process it. Returns the
// milliseconds taken and leaves the service registered in |*ref|; a
// negative time on failure, with the reason in |*error|.
double RegisterDirectly(const std::string& name,
                        DNSServiceRef* ref,
                        std::string* error) {
  const Clock::time_point start = Clock::now();
  DNSServiceErrorType reply = 1;  // Not an error code; replaced by the reply.
  DNSServiceErrorType code = DNSServiceRegister(
      ref, 0, 0, name.c_str(), kServiceType, nullptr, nullptr, htons(kPort),
      static_cast<uint16_t>(kTxtRecord.size()), kTxtRecord.data(),
      &OnRegisterReply, &reply);
  if (code != kDNSServiceErr_NoError) {
    *ref = nullptr;
    *error = "DNSServiceRegister failed with " + std::to_string(code) +
             "; is an mDNS daemon running (scripts/mdns-daemon start)?";
    return -1;
  }
  while (reply == 1) {
    pollfd readable = {DNSServiceRefSockFD(*ref), POLLIN, 0};
    const int ready =
        poll(&readable, 1,
             static_cast<int>(
                 std::chrono::duration_cast<std::chrono::milliseconds>(kTimeout)
                     .count()));
    if (ready <= 0 || DNSServiceProcessResult(*ref) != kDNSServiceErr_NoError) {
      *error = "no reply to a direct registration";
      return -1;
    }
  }
  if (reply != kDNSServiceErr_NoError) {
    *error = "a direct registration failed with " + std::to_string(reply);
    return -1;
  }
  return MillisecondsSince(start);
}

// The result of one AddService, delivered on the responder's thread. Shared
// with the callback, which may outlive a wait that timed out.
class ResultWaiter {
 public:
  static MdnsResponder::ResultCallback CallbackFor(
      std::shared_ptr<ResultWaiter> waiter) {
    return [waiter](MdnsResponder::Result result, std::string message) {
      std::lock_guard<std::mutex> lock(waiter->mutex_);
      waiter->result_ = result;
      waiter->message_ = std::move(message);
      waiter->done_ = true;
      waiter->cv_.notify_one();
    };
  }

  // False on timeout.
  bool Wait(MdnsResponder::Result* result, std::string* message) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, kTimeout, [this] { return done_; }))
      return false;
    done_ = false;
    *result = result_;
    *message = message_;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;  // Guarded by |mutex_|, as are the two below.
  MdnsResponder::Result result_ = MdnsResponder::FATAL_ERROR;
  std::string message_;
};

double RegisterThroughPlugin(MdnsResponder* responder,
                             const std::string& name,
                             std::string* error) {
  auto waiter = std::make_shared<ResultWaiter>();
  const Clock::time_point start = Clock::now();
  responder->AddService(kServiceType, name, kPort, kTxtRecord,
                        ResultWaiter::CallbackFor(waiter));
  MdnsResponder::Result result;
  std::string message;
  if (!waiter->Wait(&result, &message)) {
    *error = "no AddService result within 15 s";
    return -1;
  }
  const double milliseconds = MillisecondsSince(start);
  if (result != MdnsResponder::SUCCESS) {
    *error = "AddService answered " + std::to_string(result) + ": " + message;
    return -1;
  }
  return milliseconds;
}

// The sandbox's own daemon, started when the benchmark runs in there.
void StartDaemonInSandbox() {
  if (testing_support::InMdnsSandbox())
    testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT);
}

// The plug-in's DNS-SD responder, owned by |*provider|; null once |state| is
// skipped with the reason.
MdnsResponder* NewResponder(
    benchmark::State& state,
    bench::Plugin& plugin,
    std::unique_ptr<assistant_client::NetworkProvider>* provider) {
  if (!plugin.ok()) {
    state.SkipWithError(plugin.error().c_str());
    return nullptr;
  }
  *provider = plugin.NewNetworkProvider("{\"platform_config\": {}}");
  MdnsResponder* responder =
      *provider ? (*provider)->GetMdnsResponder() : nullptr;
  if (!responder)
    state.SkipWithError("the network plug-in offers no DNS-SD responder");
  return responder;
}

void BM_MdnsRegistration(benchmark::State& state) {
  // The compatibility library warns on stderr at first use unless told not
  // to; the responder sets the same before its first call.
  setenv("AVAHI_COMPAT_NOWARN", "1", 0);
  StartDaemonInSandbox();
  std::string error;
  DNSServiceRef probe = nullptr;
  if (RegisterDirectly(InstanceName("probe", 0), &probe, &error) < 0) {
    if (probe)
      DNSServiceRefDeallocate(probe);
    state.SkipWithError(error.c_str());
    return;
  }
  DNSServiceRefDeallocate(probe);

  bench::Plugin plugin(VANTOR_NETWORK_PLUGIN);
  std::unique_ptr<assistant_client::NetworkProvider> provider;
  MdnsResponder* responder = NewResponder(state, plugin, &provider);
  if (!responder)
    return;

  std::vector<double> plugin_ms;
  std::vector<double> direct_ms;
  int serial = 0;
  for (auto _ : state) {
    for (int i = 0; i < kRegistrations; ++i, ++serial) {
      const std::string direct_name = InstanceName("direct", serial);
      DNSServiceRef ref = nullptr;
      const double direct = RegisterDirectly(direct_name, &ref, &error);
      if (ref)
        DNSServiceRefDeallocate(ref);  // Withdraws the service.
      const std::string plugin_name = InstanceName("plugin", serial);
      const double through_plugin =
          direct < 0 ? -1
                     : RegisterThroughPlugin(responder, plugin_name, &error);
      responder->RemoveService(kServiceType, plugin_name);
      if (direct < 0 || through_plugin < 0) {
        state.SkipWithError(error.c_str());
        return;
      }
      direct_ms.push_back(direct);
      plugin_ms.push_back(through_plugin);
    }
  }
  state.counters["plugin_median_ms"] = bench::Percentile(plugin_ms, 50);
  state.counters["direct_median_ms"] = bench::Percentile(direct_ms, 50);
}
BENCHMARK(BM_MdnsRegistration)->Iterations(1)->Unit(benchmark::kMillisecond);

// Waits for |count| answers, all of which must be SUCCESS.
class AnswerCounter {
 public:
  MdnsResponder::ResultCallback Callback() {
    return [state = state_](MdnsResponder::Result result, std::string message) {
      std::lock_guard<std::mutex> lock(state->mutex);
      ++state->answers;
      if (result != MdnsResponder::SUCCESS)
        state->failure = message;
      state->changed.notify_all();
    };
  }
  // False, with the reason in |*error|, on a failure or a timeout.
  bool Wait(int count, std::string* error) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (!state_->changed.wait_for(lock, kTimeout,
                                  [&] { return state_->answers >= count; })) {
      *error = "not every AddService answered within 15 s";
      return false;
    }
    if (!state_->failure.empty()) {
      *error = "AddService failed: " + state_->failure;
      return false;
    }
    return true;
  }

 private:
  // Shared with the callbacks, which may outlive a wait that timed out.
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    int answers = 0;
    std::string failure;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Milliseconds from the first AddService until all |count| are answered, the
// instances withdrawn again afterwards; negative on failure.
double RegisterAtOnce(MdnsResponder* responder,
                      int count,
                      int* serial,
                      std::string* error) {
  AnswerCounter answers;
  std::vector<std::string> names;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) {
    names.push_back(InstanceName("together", (*serial)++));
    responder->AddService(kServiceType, names.back(), kPort, kTxtRecord,
                          answers.Callback());
  }
  const bool answered = answers.Wait(count, error);
  const double milliseconds = MillisecondsSince(start);
  for (const std::string& name : names)
    responder->RemoveService(kServiceType, name);
  return answered ? milliseconds : -1;
}

void BM_MdnsConcurrentRegistrations(benchmark::State& state) {
  constexpr int kRounds = 5;
  constexpr int kTogether = 10;
  setenv("AVAHI_COMPAT_NOWARN", "1", 0);
  StartDaemonInSandbox();
  bench::Plugin plugin(VANTOR_NETWORK_PLUGIN);
  std::unique_ptr<assistant_client::NetworkProvider> provider;
  MdnsResponder* responder = NewResponder(state, plugin, &provider);
  if (!responder)
    return;
  std::vector<double> one_ms;
  std::vector<double> ten_ms;
  std::string error;
  int serial = 0;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      const double one = RegisterAtOnce(responder, 1, &serial, &error);
      const double ten =
          one < 0 ? -1 : RegisterAtOnce(responder, kTogether, &serial, &error);
      if (one < 0 || ten < 0) {
        state.SkipWithError(error.c_str());
        return;
      }
      one_ms.push_back(one);
      ten_ms.push_back(ten);
    }
  }
  state.counters["one_median_ms"] = bench::Percentile(one_ms, 50);
  state.counters["ten_median_ms"] = bench::Percentile(ten_ms, 50);
  state.counters["ten_max_ms"] = bench::Percentile(ten_ms, 100);
}
BENCHMARK(BM_MdnsConcurrentRegistrations)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
