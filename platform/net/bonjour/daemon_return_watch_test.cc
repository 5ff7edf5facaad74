// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/net/bonjour/daemon_return_watch.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/eintr_wrapper.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"

namespace assistant_reference {
namespace {

using std::chrono::milliseconds;
using testing::ElementsAreArray;

// What happens at a moment of the simulated time.
enum class Step {
  kLost,        // The daemon goes with our registrations.
  kBack,        // A try got everything registered again.
  kSocket,      // The daemon makes its socket in its folder (a sign).
  kMakeFolder,  // The daemon's folder is made (a sign).
  kRemoveFolder,
};

struct Event {
  int at_ms;
  Step step;
};

struct Case {
  const char* name;
  bool folder_exists;
  std::vector<Event> events;
  int end_ms;
  std::vector<int> tries_ms;
};

class DaemonReturnWatchTest : public testing::TestWithParam<Case> {
 protected:
  using Clock = DaemonReturnWatch::Clock;

  void SetUp() override {
    char parent[] = "/tmp/daemon_return_watch_test.XXXXXX";
    ASSERT_NE(mkdtemp(parent), nullptr);
    parent_ = parent;
    folder_ = parent_ + "/avahi-daemon";
    if (GetParam().folder_exists) {
      ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
    }
  }
  void TearDown() override {
    unlink((folder_ + "/socket").c_str());
    rmdir(folder_.c_str());
    rmdir(parent_.c_str());
  }

  // Does |step| on the file system and waits until the watch has read it.
  void Happen(Step step, DaemonReturnWatch* watch, Clock::time_point now) {
    switch (step) {
      case Step::kSocket: {
        const int fd = HANDLE_EINTR(open((folder_ + "/socket").c_str(),
                                         O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        ASSERT_GE(fd, 0);
        close(fd);
        break;
      }
      case Step::kMakeFolder:
        ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
        break;
      case Step::kRemoveFolder:
        unlink((folder_ + "/socket").c_str());
        ASSERT_EQ(rmdir(folder_.c_str()), 0);
        break;
      default:
        FAIL() << "not a file system step";
    }
    std::vector<pollfd> fds;
    std::optional<Clock::time_point> until;
    watch->PrepareWait(&fds, &until);
    ASSERT_EQ(fds.size(), 1u);
    ASSERT_EQ(HANDLE_EINTR(poll(fds.data(), fds.size(), 10000)), 1)
        << "the watch saw nothing";
    watch->OnWaitDone(fds, now);
  }

  std::string parent_;
  std::string folder_;
};

// Runs the case's events on simulated time: every try that comes due fails,
// and its moment is recorded.
TEST_P(DaemonReturnWatchTest, TriesComeWhenDue) {
  const Case& c = GetParam();
  DaemonReturnWatch::Options options;
  options.folders = {folder_};
  DaemonReturnWatch watch(options);
  ASSERT_TRUE(watch.watching());

  const Clock::time_point start = Clock::now();
  auto ms = [&](Clock::time_point t) {
    return static_cast<int>(
        std::chrono::duration_cast<milliseconds>(t - start).count());
  };
  std::vector<int> tries;
  size_t next = 0;
  for (;;) {
    std::vector<pollfd> fds;
    std::optional<Clock::time_point> until;
    watch.PrepareWait(&fds, &until);
    const int try_at = until ? ms(*until) : c.end_ms + 1;
    const int event_at =
        next < c.events.size() ? c.events[next].at_ms : c.end_ms + 1;
    if (std::min(try_at, event_at) > c.end_ms)
      break;
    if (event_at <= try_at) {
      const Clock::time_point now = start + milliseconds(event_at);
      const Step step = c.events[next++].step;
      if (step == Step::kLost)
        watch.Lost(now);
      else if (step == Step::kBack)
        watch.Back();
      else
        ASSERT_NO_FATAL_FAILURE(Happen(step, &watch, now));
      continue;
    }
    const Clock::time_point now = start + milliseconds(try_at);
    ASSERT_FALSE(watch.Due(now - milliseconds(1)));
    ASSERT_TRUE(watch.Due(now));
    tries.push_back(try_at);
    watch.TryFailed(now);
  }
  EXPECT_THAT(tries, ElementsAreArray(c.tries_ms));
}

INSTANTIATE_TEST_SUITE_P(
    Schedules,
    DaemonReturnWatchTest,
    testing::Values(
        // The daemon dropped only us, or is gone for good: a few tries,
        // then nothing however long it stays away.
        Case{"LossAlone",
             true,
             {{0, Step::kLost}},
             60000,
             {100, 300, 700, 1500}},
        // A start much later: tries for 30 s after it, the pause doubling
        // to 2 s.
        Case{"StartLater",
             true,
             {{0, Step::kLost}, {10000, Step::kSocket}},
             50000,
             {100,   300,   700,   1500,  10100, 10300, 10700, 11500,
              13100, 15100, 17100, 19100, 21100, 23100, 25100, 27100,
              29100, 31100, 33100, 35100, 37100, 39100}},
        // A start in the middle of the loss's tries brings the next one
        // forward.
        Case{"StartDuringLossTries",
             true,
             {{0, Step::kLost}, {1000, Step::kSocket}},
             4200,
             {100, 300, 700, 1100, 1300, 1700, 2500, 4100}},
        // A start read before the old daemon's loss: its window counts.
        Case{"StartReadBeforeLoss",
             true,
             {{0, Step::kSocket}, {20000, Step::kLost}},
             60000,
             {20100, 20300, 20700, 21500, 23100, 25100, 27100, 29100}},
        Case{"OldStartDoesNotCount",
             true,
             {{0, Step::kSocket}, {40000, Step::kLost}},
             90000,
             {40100, 40300, 40700, 41500}},
        Case{"BackStopsTries",
             true,
             {{0, Step::kLost}, {500, Step::kBack}},
             60000,
             {100, 300}},
        // No folder yet: its parent is watched, and then the folder.
        Case{"FolderMadeThenSocket",
             false,
             {{0, Step::kLost},
              {5000, Step::kMakeFolder},
              {40000, Step::kSocket}},
             40800,
             {100,   300,   700,   1500,  5100,  5300,  5700,  6500,  8100,
              10100, 12100, 14100, 16100, 18100, 20100, 22100, 24100, 26100,
              28100, 30100, 32100, 34100, 40100, 40300, 40700}},
        // A folder removed is no sign; made again, it is.
        Case{"FolderRemovedAndMadeAgain",
             true,
             {{0, Step::kLost},
              {3000, Step::kRemoveFolder},
              {4000, Step::kMakeFolder},
              {4600, Step::kSocket}},
             5000,
             {100, 300, 700, 1500, 4100, 4300, 4700, 4900}}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// With nothing to watch the tries never stop.
TEST(DaemonReturnWatchFallbackTest, TriesGoOnWithoutAWatch) {
  DaemonReturnWatch::Options options;
  options.folders = {"/nonexistent-vantor-parent/avahi-daemon"};
  DaemonReturnWatch watch(options);
  EXPECT_FALSE(watch.watching());
  const auto start = DaemonReturnWatch::Clock::now();
  watch.Lost(start);
  std::vector<int> tries;
  for (int ms = 0; ms <= 12000; ++ms) {
    const auto now = start + milliseconds(ms);
    if (watch.Due(now)) {
      tries.push_back(ms);
      watch.TryFailed(now);
    }
  }
  EXPECT_THAT(tries, testing::ElementsAre(100, 300, 700, 1500, 3100, 5100, 7100,
                                          9100, 11100));
  // A try answered by the daemon elsewhere brings the next one forward.
  watch.TryNow(start + milliseconds(12000));
  EXPECT_TRUE(watch.Due(start + milliseconds(12000)));
}

}  // namespace
}  // namespace assistant_reference
