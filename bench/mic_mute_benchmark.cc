// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Time from a change of the microphone-state file (a new file renamed into
// place, or the file rewritten in place) to the host's mute-change callback,
// through the whole system plug-in: dlopen, its entry point and factory, the
// provider's structure, the bridge's SystemProviderFromC and a callback
// registered through it. The floor is a bare inotify + poll loop on another
// folder of the same file system, fed the same renames in alternation, so that
// both see the same load.
//
// Each rename moves a file from an unwatched staging folder, so that the
// only event either watcher gets is the rename itself. On a busy disk a
// rename over an existing file can take milliseconds by itself, for both
// watchers alike; the tmpfs run shows the same path without that.
//
// A rewrite in place is timed from its open to the callback: its writes must
// not hold back the report of the close that ends them.
#include <benchmark/benchmark.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/plugin_loader.h"
#include "core/eintr_wrapper.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChanges = 1000;
constexpr auto kTimeout = std::chrono::seconds(2);
constexpr char kStateFile[] = "mic_state";

// When the latest change arrived; marked on the notifying thread, taken on
// the benchmark thread.
class Arrival {
 public:
  void Mark() {
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    at_ = now;
    arrived_ = true;
    cv_.notify_one();
  }

  // False when nothing arrived in time.
  bool Take(Clock::time_point* at) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, kTimeout, [this] { return arrived_; }))
      return false;
    arrived_ = false;
    *at = at_;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool arrived_ = false;  // Guarded by |mutex_|.
  Clock::time_point at_;  // Guarded by |mutex_|.
};

// The floor: a thread blocked in poll on an inotify descriptor that watches
// |folder| and marks |arrival| for every event on |name|.
class BareWatcher {
 public:
  BareWatcher(const std::string& folder, const char* name, Arrival* arrival)
      : name_(name),
        arrival_(arrival),
        inotify_fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
        stop_fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    ok_ = inotify_fd_ >= 0 && stop_fd_ >= 0 &&
          inotify_add_watch(inotify_fd_, folder.c_str(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE) >= 0;
    if (ok_)
      thread_ = std::thread([this] { Loop(); });
  }
  BareWatcher(const BareWatcher&) = delete;
  BareWatcher& operator=(const BareWatcher&) = delete;
  ~BareWatcher() {
    if (thread_.joinable()) {
      const uint64_t one = 1;
      (void)!write(stop_fd_, &one, sizeof(one));
      thread_.join();
    }
    if (inotify_fd_ >= 0)
      close(inotify_fd_);
    if (stop_fd_ >= 0)
      close(stop_fd_);
  }

  bool ok() const { return ok_; }

 private:
  void Loop() {
    pollfd fds[2] = {{inotify_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      if (HANDLE_EINTR(poll(fds, 2, -1)) < 0)
        return;
      if (fds[1].revents)
        return;
      ssize_t n;
      while ((n = read(inotify_fd_, buffer, sizeof(buffer))) > 0) {
        for (ssize_t at = 0; at < n;) {
          const auto* event =
              reinterpret_cast<const inotify_event*>(buffer + at);
          if (event->len && name_ == event->name)
            arrival_->Mark();
          at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
      }
    }
  }

  const std::string name_;
  Arrival* const arrival_;
  const int inotify_fd_;
  const int stop_fd_;
  bool ok_ = false;
  std::thread thread_;
};

// A fresh folder under |parent| with the three subfolders; removed with all
// it holds when done.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* parent) {
    std::string path = std::string(parent) + "/vantor-bench-mic.XXXXXX";
    if (!mkdtemp(&path[0]))
      return;
    path_ = path;
    for (const char* sub : {"/plugin", "/floor", "/staging"})
      mkdir((path_ + sub).c_str(), 0700);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    if (!path_.empty()) {
      nftw(
          path_.c_str(),
          [](const char* path, const struct stat*, int, FTW*) {
            return remove(path);
          },
          8, FTW_DEPTH | FTW_PHYS);
    }
  }

  bool ok() const { return !path_.empty(); }
  std::string Folder(const std::string& sub) const { return path_ + "/" + sub; }
  std::string Path(const std::string& sub) const {
    return Folder(sub) + "/" + kStateFile;
  }

 private:
  std::string path_;
};

bool WriteWord(const std::string& path, const char* word) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0)
    return false;
  const size_t size = strlen(word);
  const bool ok = write(fd, word, size) == static_cast<ssize_t>(size);
  return close(fd) == 0 && ok;
}

// Puts |word| into the state file of |sub|, by a rename of a new file or in
// place, and returns the microseconds until |arrival| is marked, or a
// negative number on failure.
double TimeOneChange(const ScratchFolder& scratch,
                     const std::string& sub,
                     const char* word,
                     bool in_place,
                     Arrival* arrival) {
  const std::string staged = scratch.Path("staging");
  if (!in_place && !WriteWord(staged, word))
    return -1;
  const Clock::time_point start = Clock::now();
  if (in_place ? !WriteWord(scratch.Path(sub), word)
               : rename(staged.c_str(), scratch.Path(sub).c_str()) != 0) {
    return -1;
  }
  Clock::time_point arrived;
  if (!arrival->Take(&arrived))
    return -1;
  return std::chrono::duration<double, std::micro>(arrived - start).count();
}

void BM_MicMuteLatency(benchmark::State& state,
                       const char* parent,
                       bool in_place) {
  ScratchFolder scratch(parent);
  if (!scratch.ok() || !WriteWord(scratch.Path("plugin"), "on")) {
    state.SkipWithError(
        (std::string("cannot make a scratch folder in ") + parent).c_str());
    return;
  }
  bench::Plugin plugin(VANTOR_SYSTEM_PLUGIN);
  if (!plugin.ok()) {
    state.SkipWithError(plugin.error().c_str());
    return;
  }
  Arrival plugin_arrival;
  Arrival floor_arrival;
  // Destroyed before the arrivals that its callback marks.
  std::unique_ptr<assistant_client::SystemProvider> provider =
      plugin.NewSystemProvider("{\"platform_config\": {\"mic_state_path\": \"" +
                               scratch.Path("plugin") + "\"}}");
  if (!provider) {
    state.SkipWithError("the system plug-in offers no system provider");
    return;
  }
  provider->RegisterMicMuteChangeCallback(assistant_client::Callback<true>(
      [&plugin_arrival] { plugin_arrival.Mark(); }));
  BareWatcher floor(scratch.Folder("floor"), kStateFile, &floor_arrival);
  if (!floor.ok()) {
    state.SkipWithError("cannot watch the floor's folder with inotify");
    return;
  }

  std::vector<double> plugin_us;
  std::vector<double> floor_us;
  for (auto _ : state) {
    for (int i = 0; i < kChanges; ++i) {
      // The state must change every time, or the plug-in rightly stays quiet.
      const char* word = i % 2 == 0 ? "off" : "on";
      const double through_plugin =
          TimeOneChange(scratch, "plugin", word, in_place, &plugin_arrival);
      const double bare =
          TimeOneChange(scratch, "floor", word, in_place, &floor_arrival);
      if (through_plugin < 0 || bare < 0) {
        state.SkipWithError(through_plugin < 0
                                ? "no mute-change callback within 2 s"
                                : "no inotify event within 2 s");
        return;
      }
      plugin_us.push_back(through_plugin);
      floor_us.push_back(bare);
    }
  }
  if (provider->GetMicMuteState() != (kChanges % 2 == 0 ? 0 : 1))
    state.SkipWithError("the provider reads a stale mute state");
  state.counters["plugin_median_us"] = bench::Percentile(plugin_us, 50);
  state.counters["plugin_p99_us"] = bench::Percentile(plugin_us, 99);
  state.counters["floor_median_us"] = bench::Percentile(floor_us, 50);
  state.counters["floor_p99_us"] = bench::Percentile(floor_us, 99);
}
// On the disk, as the state files of a device's configuration folder; and on
// tmpfs, as under /run, where no file system stall hides the plug-in's own
// share.
BENCHMARK_CAPTURE(BM_MicMuteLatency, disk, "/tmp", false)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MicMuteLatency, tmpfs, "/dev/shm", false)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MicMuteLatency, tmpfs_in_place, "/dev/shm", true)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
