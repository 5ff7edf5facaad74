// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The network plug-in while its mDNS daemon goes and comes back:
//
// - BM_MdnsRestart: three services registered through the plug-in; the
//   daemon is stopped (avahi-daemon -k and SIGKILL in turn, outages of 0.2 to
//   2.2 s) and started 20 times. Figure: from starting the daemon until all
//   three are browsable again (a running avahi-browse sees them). Baseline:
//   the same for a registration made directly through dns_sd the moment the
//   daemon serves requests again, i.e. the daemon's own start and probing.
// - BM_MdnsResponderWakeups: voluntary context switches of the responder
//   thread over 60 s with three services registered, with a healthy daemon
//   and with the daemon gone (the responder waits for the daemon's socket
//   to come back rather than trying again); baselines: an idle plain task
//   queue's thread, and a thread that only sleeps through a back-off of
//   100 ms doubling to 2 s, what polling for the daemon would cost.
//
// Runs only inside scripts/mdns-sandbox (scripts/bench runs it there), whose
// daemon it starts, stops and kills; elsewhere it is skipped with the
// reason.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <dns_sd.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/plugin_loader.h"
#include "core/task_queue.h"
#include "core/thread.h"
#include "testing/mdns_daemon.h"

namespace {

using Clock = std::chrono::steady_clock;
using assistant_client::MdnsResponder;
using std::chrono::milliseconds;

constexpr char kServiceType[] = "_vantorrestart._tcp";
constexpr int kServices = 3;
constexpr int kRestarts = 20;
constexpr auto kWindow = std::chrono::seconds(60);
constexpr milliseconds kBackBound(20000);
// "BonjourMdnsResponder" as the kernel keeps it.
constexpr char kResponderThread[] = "BonjourMdnsResp";
constexpr char kIdleQueueThread[] = "BenchIdleQueue";

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

std::string Name(const std::string& what, int i) {
  return "bench-" + what + "-" + std::to_string(getpid()) + "-" +
         std::to_string(i);
}

// Reason to skip, or empty.
std::string StartDaemon() {
  if (!testing_support::InMdnsSandbox())
    return "runs only inside scripts/mdns-sandbox: it stops and kills the "
           "mDNS daemon";
  if (!testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT))
    return "the sandbox's mDNS daemon did not start";
  return "";
}

// Voluntary context switches of thread |tid| of this process so far; -1 when
// it cannot be read.
long VoluntarySwitches(const std::string& tid) {
  std::ifstream status("/proc/self/task/" + tid + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
      return atol(line.c_str() + line.find(':') + 1);
  }
  return -1;
}

// The id of this process's thread named |name|, or empty. A new thread
// names itself: it may take a moment.
std::string ThreadId(const std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string found;
    if (DIR* dir = opendir("/proc/self/task")) {
      while (dirent* entry = readdir(dir)) {
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name +
                           "/comm");
        std::string comm_name;
        if (std::getline(comm, comm_name) && comm_name == name)
          found = entry->d_name;
      }
      closedir(dir);
    }
    if (!found.empty())
      return found;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return "";
}

// The plug-in's provider with |kServices| services registered.
class Advertiser {
 public:
  Advertiser() : plugin_(VANTOR_NETWORK_PLUGIN) {
    if (!plugin_.ok()) {
      error_ = plugin_.error();
      return;
    }
    provider_ = plugin_.NewNetworkProvider("{\"platform_config\": {}}");
    responder_ = provider_ ? provider_->GetMdnsResponder() : nullptr;
    if (!responder_) {
      error_ = "the network plug-in offers no DNS-SD responder";
      return;
    }
    // Now, before the DNS-SD library's threads exist: they take the name of
    // the thread that starts them.
    responder_thread_ = ThreadId(kResponderThread);
    auto state = std::make_shared<State>();
    for (int i = 0; i < kServices; ++i) {
      names_.push_back(Name("kept", i));
      responder_->AddService(
          kServiceType, names_.back(), 4000 + i, "",
          [state](MdnsResponder::Result result, std::string message) {
            std::lock_guard<std::mutex> lock(state->mutex);
            ++state->answers;
            if (result != MdnsResponder::SUCCESS)
              state->failure = message;
            state->changed.notify_all();
          });
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    if (!state->changed.wait_for(lock, std::chrono::seconds(15),
                                 [&] { return state->answers == kServices; })) {
      error_ = "registrations unanswered";
    } else if (!state->failure.empty()) {
      error_ = "registration failed: " + state->failure;
    }
  }

  const std::string& error() const { return error_; }
  const std::vector<std::string>& names() const { return names_; }
  // The responder thread's id; empty when not found.
  const std::string& responder_thread() const { return responder_thread_; }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    int answers = 0;
    std::string failure;
  };

  bench::Plugin plugin_;
  std::unique_ptr<assistant_client::NetworkProvider> provider_;
  MdnsResponder* responder_ = nullptr;  // Owned by |provider_|.
  std::vector<std::string> names_;
  std::string responder_thread_;
  std::string error_;
};

void DNSSD_API OnReply(DNSServiceRef,
                       DNSServiceFlags,
                       DNSServiceErrorType,
                       const char*,
                       const char*,
                       const char*,
                       void* context) {
  static_cast<std::atomic<bool>*>(context)->store(true);
}

// A registration made directly, its replies read on a thread of its own.
class DirectRegistration {
 public:
  explicit DirectRegistration(const std::string& name) {
    if (DNSServiceRegister(&ref_, 0, 0, name.c_str(), kServiceType, nullptr,
                           nullptr, htons(4999), 0, "", &OnReply,
                           &replied_) != kDNSServiceErr_NoError) {
      ref_ = nullptr;
      return;
    }
    reader_ = std::thread([this] {
      while (!replied_ && !stop_) {
        pollfd readable = {DNSServiceRefSockFD(ref_), POLLIN, 0};
        if (poll(&readable, 1, 50) > 0 &&
            DNSServiceProcessResult(ref_) != kDNSServiceErr_NoError) {
          return;
        }
      }
    });
  }
  ~DirectRegistration() {
    stop_ = true;
    if (reader_.joinable())
      reader_.join();
    if (ref_)
      DNSServiceRefDeallocate(ref_);
  }
  bool ok() const { return ref_ != nullptr; }

 private:
  DNSServiceRef ref_ = nullptr;
  std::atomic<bool> replied_{false};
  std::atomic<bool> stop_{false};
  std::thread reader_;
};

void BM_MdnsRestart(benchmark::State& state) {
  setenv("AVAHI_COMPAT_NOWARN", "1", 0);
  const std::string why_not = StartDaemon();
  if (!why_not.empty()) {
    state.SkipWithError(why_not.c_str());
    return;
  }
  Advertiser advertiser;
  if (!advertiser.error().empty()) {
    state.SkipWithError(advertiser.error().c_str());
    return;
  }
  const std::string floor_name = Name("floor", 0);
  std::vector<double> back_ms;
  std::vector<double> floor_ms;
  for (auto _ : state) {
    for (int round = 0; round < kRestarts; ++round) {
      if (!testing_support::StopMdnsDaemonNow(/*kill=*/round % 2 == 1)) {
        state.SkipWithError("the daemon did not stop");
        return;
      }
      // Outages of various lengths meet the responder's back-off in
      // various phases.
      std::this_thread::sleep_for(milliseconds(200 + 500 * (round % 5)));
      const Clock::time_point restarted = Clock::now();
      if (!testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT)) {
        state.SkipWithError("the daemon did not start again");
        return;
      }
      DirectRegistration direct(floor_name);
      testing_support::Browser browser(kServiceType);
      if (!direct.ok() || !browser.started()) {
        state.SkipWithError("no direct registration or browser");
        return;
      }
      double back = -1, floor = -1;
      browser.WaitUntil(
          [&](const testing_support::Browser::Seen& seen) {
            if (floor < 0 && seen.now.count(floor_name))
              floor = MillisecondsSince(restarted);
            bool all = true;
            for (const std::string& name : advertiser.names())
              all = all && seen.now.count(name);
            if (back < 0 && all)
              back = MillisecondsSince(restarted);
            return back >= 0 && floor >= 0;
          },
          kBackBound);
      if (back < 0 || floor < 0) {
        state.SkipWithError("not every service came back within 20 s");
        return;
      }
      back_ms.push_back(back);
      floor_ms.push_back(floor);
    }
  }
  state.counters["back_median_ms"] = bench::Percentile(back_ms, 50);
  state.counters["back_max_ms"] = bench::Percentile(back_ms, 100);
  state.counters["floor_median_ms"] = bench::Percentile(floor_ms, 50);
  state.counters["floor_max_ms"] = bench::Percentile(floor_ms, 100);
}
BENCHMARK(BM_MdnsRestart)->Iterations(1)->Unit(benchmark::kMillisecond);

// Sleeps through the responder's back-off for |window| and returns its own
// voluntary context switches meanwhile.
long SleepThroughBackoff(Clock::duration window) {
  const std::string self = std::to_string(gettid());
  const long before = VoluntarySwitches(self);
  const Clock::time_point end = Clock::now() + window;
  milliseconds pause(100);
  while (Clock::now() + pause < end) {
    poll(nullptr, 0, static_cast<int>(pause.count()));
    pause = std::min(pause * 2, milliseconds(2000));
  }
  return VoluntarySwitches(self) - before;
}

void BM_MdnsResponderWakeups(benchmark::State& state) {
  setenv("AVAHI_COMPAT_NOWARN", "1", 0);
  const std::string why_not = StartDaemon();
  if (!why_not.empty()) {
    state.SkipWithError(why_not.c_str());
    return;
  }
  Advertiser advertiser;
  if (!advertiser.error().empty()) {
    state.SkipWithError(advertiser.error().c_str());
    return;
  }
  core::Thread idle_thread(kIdleQueueThread);
  core::TaskQueue idle_queue(&idle_thread);
  // Let the registrations' last events pass.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const std::string& responder = advertiser.responder_thread();
  const std::string idle = ThreadId(kIdleQueueThread);
  if (responder.empty() || idle.empty()) {
    state.SkipWithError("no responder or idle queue thread found");
    return;
  }
  long healthy = 0, idle_queue_wakeups = 0, gone = 0, floor = 0;
  for (auto _ : state) {
    const long responder_before = VoluntarySwitches(responder);
    const long idle_before = VoluntarySwitches(idle);
    std::this_thread::sleep_for(kWindow);
    healthy = VoluntarySwitches(responder) - responder_before;
    idle_queue_wakeups = VoluntarySwitches(idle) - idle_before;

    if (!testing_support::StopMdnsDaemonNow(/*kill=*/false)) {
      state.SkipWithError("the daemon did not stop");
      return;
    }
    const long gone_before = VoluntarySwitches(responder);
    floor = SleepThroughBackoff(kWindow);
    gone = VoluntarySwitches(responder) - gone_before;
    testing_support::StartMdnsDaemon(MDNS_DAEMON_SCRIPT);
    if (responder_before < 0 || idle_before < 0 || gone_before < 0) {
      state.SkipWithError("a thread's context switches cannot be read");
      return;
    }
  }
  state.counters["healthy_wakeups"] = static_cast<double>(healthy);
  state.counters["idle_queue_wakeups"] =
      static_cast<double>(idle_queue_wakeups);
  state.counters["gone_wakeups"] = static_cast<double>(gone);
  state.counters["backoff_floor_wakeups"] = static_cast<double>(floor);
}
BENCHMARK(BM_MdnsResponderWakeups)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
