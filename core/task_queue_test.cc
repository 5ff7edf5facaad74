// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/task_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/eintr_wrapper.h"
#include "core/synchronization.h"
#include "gtest/gtest.h"

namespace core {
namespace {

// Records runs and deletions so tests can tell a task deleted unrun from
// one that ran.
class Journal {
 public:
  void Add(const std::string& entry) {
    AutoLock lock(&mutex_);
    entries_.push_back(entry);
  }
  std::vector<std::string> entries() {
    AutoLock lock(&mutex_);
    return entries_;
  }

 private:
  Mutex mutex_;
  std::vector<std::string> entries_;
};

class RecordingTask : public TaskQueue::Task {
 public:
  RecordingTask(Journal* journal,
                std::string name,
                std::function<void()> body = {})
      : journal_(journal), name_(std::move(name)), body_(std::move(body)) {}
  ~RecordingTask() override { journal_->Add("~" + name_); }
  void Run() override {
    journal_->Add("run " + name_ + " begin");
    if (body_)
      body_();
    journal_->Add("run " + name_ + " end");
  }

 private:
  Journal* journal_;
  std::string name_;
  std::function<void()> body_;
};

std::unique_ptr<TaskQueue::Task> Make(Journal* journal,
                                      const std::string& name,
                                      std::function<void()> body = {}) {
  return std::make_unique<RecordingTask>(journal, name, std::move(body));
}

// A descriptor of the test's own: an eventfd that the owner thread waits on
// besides the tasks, with |timeouts| waits of |timeout_ms| first and no
// limit after them. Counts the waits and what they saw.
class EventfdWaiter : public TaskQueue::Waiter {
 public:
  explicit EventfdWaiter(int timeouts = 0, int timeout_ms = -1)
      : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
        timeouts_left_(timeouts),
        timeout_ms_(timeout_ms) {}
  ~EventfdWaiter() override { close(fd_); }

  void Signal() {
    const uint64_t one = 1;
    ASSERT_EQ(HANDLE_EINTR(write(fd_, &one, sizeof(one))), 8);
  }

  int PrepareWait(std::vector<pollfd>* fds) override {
    EXPECT_TRUE(fds->empty());
    fds->push_back(pollfd{fd_, POLLIN, 0});
    if (timeouts_left_ > 0) {
      --timeouts_left_;
      return timeout_ms_;
    }
    return -1;
  }
  void OnWaitDone(const std::vector<pollfd>& fds) override {
    ++waits_;
    EXPECT_EQ(fds.size(), 1u);
    if (fds.size() == 1 && (fds[0].revents & POLLIN)) {
      uint64_t count;
      EXPECT_EQ(HANDLE_EINTR(read(fd_, &count, sizeof(count))), 8);
      ++readable_;
    } else if (timeouts_left_ >= 0) {
      ++quiet_;
    }
  }

  int waits() const { return waits_; }
  int readable() const { return readable_; }
  int quiet() const { return quiet_; }

 private:
  const int fd_;
  // Owner thread only, or read once the owner thread has joined; atomics
  // for tests that poll them while it runs.
  int timeouts_left_;
  const int timeout_ms_;
  std::atomic<int> waits_{0};
  std::atomic<int> readable_{0};
  std::atomic<int> quiet_{0};
};

// Every ordering and shutdown guarantee holds for a plain queue and for one
// that also waits on descriptors.
class TaskQueueTest : public testing::TestWithParam<bool> {
 protected:
  std::unique_ptr<TaskQueue> NewQueue(Thread* thread) {
    return std::make_unique<TaskQueue>(thread, GetParam() ? &waiter_ : nullptr);
  }

  EventfdWaiter waiter_;  // Outlives every queue of the test.
};

INSTANTIATE_TEST_SUITE_P(Plain, TaskQueueTest, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(WithWaiter, TaskQueueTest, testing::Values(true));

TEST_P(TaskQueueTest, RunsInOrderEachAfterThePreviousReturned) {
  Journal journal;
  {
    Thread thread("Queue");
    auto queue = NewQueue(&thread);
    queue->AddTask(Make(&journal, "A"));
    queue->AddTask(Make(&journal, "B"));
    queue->AddTask(Make(&journal, "C"));
  }
  std::vector<std::string> expected = {"run A begin", "run A end", "~A",
                                       "run B begin", "run B end", "~B",
                                       "run C begin", "run C end", "~C"};
  EXPECT_EQ(expected, journal.entries());
}

TEST_P(TaskQueueTest, TaskAddedByTaskRunsAfterEverythingPending) {
  Journal journal;
  Thread thread("Queue");
  Mutex gate_mutex;
  CondVar gate(&gate_mutex);
  bool open = false;
  bool d_ran = false;
  {
    std::unique_ptr<TaskQueue> owned = NewQueue(&thread);
    TaskQueue& queue = *owned;
    // Hold the queue in the first task until B is pending, so the order
    // does not depend on scheduling.
    queue.AddTask(Make(&journal, "A", [&] {
      {
        AutoLock lock(&gate_mutex);
        while (!open)
          gate.Wait();
      }
      queue.AddTask(Make(&journal, "D", [&] {
        AutoLock lock(&gate_mutex);
        d_ran = true;
        gate.Signal();
      }));
    }));
    queue.AddTask(Make(&journal, "B"));
    AutoLock lock(&gate_mutex);
    open = true;
    gate.Signal();
    // D must be queued before the destructor queues its shutdown task.
    while (!d_ran)
      gate.Wait();
  }
  std::vector<std::string> expected = {"run A begin", "run A end", "~A",
                                       "run B begin", "run B end", "~B",
                                       "run D begin", "run D end", "~D"};
  EXPECT_EQ(expected, journal.entries());
  EXPECT_EQ(Thread::State::JOINED, thread.state());
}

TEST_P(TaskQueueTest, DestructionRunsPendingTasksFirst) {
  Journal journal;
  Thread thread("Queue");
  {
    auto queue = NewQueue(&thread);
    for (const char* name : {"1", "2", "3"})
      queue->AddTask(Make(&journal, name));
  }
  auto entries = journal.entries();
  ASSERT_EQ(9u, entries.size());
  EXPECT_EQ("~3", entries.back());
}

TEST_P(TaskQueueTest, TaskQueuedBehindShutdownIsDeletedUnrun) {
  Journal journal;
  Thread thread("Queue");
  TaskQueue* queue = NewQueue(&thread).release();
  // The blocker holds the owner thread until the destructor has queued its
  // shutdown task behind P; P then adds E, which lands behind the shutdown.
  queue->AddTask(Make(&journal, "blocker", [&] {
    while (queue->PendingCountForTesting() < 2)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }));
  queue->AddTask(
      Make(&journal, "P", [&] { queue->AddTask(Make(&journal, "E")); }));
  delete queue;
  std::vector<std::string> expected = {"run blocker begin",
                                       "run blocker end",
                                       "~blocker",
                                       "run P begin",
                                       "run P end",
                                       "~P",
                                       "~E"};
  EXPECT_EQ(expected, journal.entries());
}

// A posted callable is a task like any other: in order among the others,
// owned by the queue, its state released once it ran, and dropped unrun
// behind the stop. Move-only state is fine.
TEST_P(TaskQueueTest, PostedCallablesAreTasksInEveryRespect) {
  Journal journal;
  Thread thread("Queue");
  TaskQueue* queue = NewQueue(&thread).release();
  // Released with the callable: says when that happens.
  struct Released {
    Released(Journal* journal, std::string name)
        : journal(journal), name(std::move(name)) {}
    ~Released() { journal->Add("~" + name); }
    Journal* journal;
    std::string name;
  };
  queue->AddTask(Make(&journal, "A"));
  queue->PostTask([&journal, b = std::make_unique<Released>(&journal, "b")] {
    journal.Add("run b");
  });
  queue->AddTask(Make(&journal, "blocker", [&] {
    while (queue->PendingCountForTesting() < 2)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }));
  queue->PostTask([&, p = std::make_unique<Released>(&journal, "p")] {
    journal.Add("run p");
    queue->PostTask([e = std::make_unique<Released>(&journal, "e")] {});
  });
  delete queue;
  const std::vector<std::string> expected = {"run A begin",
                                             "run A end",
                                             "~A",
                                             "run b",
                                             "~b",
                                             "run blocker begin",
                                             "run blocker end",
                                             "~blocker",
                                             "run p",
                                             "~p",
                                             "~e"};
  EXPECT_EQ(expected, journal.entries());
}

TEST_P(TaskQueueTest, IdleQueueStopsPromptly) {
  Thread thread("Idle");
  { auto queue = NewQueue(&thread); }
  EXPECT_EQ(Thread::State::JOINED, thread.state());
}

TEST_P(TaskQueueTest, ManyProducersLoseNothing) {
  Journal journal;
  std::atomic<int> runs{0};
  Thread thread("Busy");
  {
    std::unique_ptr<TaskQueue> owned = NewQueue(&thread);
    TaskQueue& queue = *owned;
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p) {
      producers.emplace_back([&] {
        for (int i = 0; i < 500; ++i) {
          class Count : public TaskQueue::Task {
           public:
            explicit Count(std::atomic<int>* n) : n_(n) {}
            void Run() override { ++*n_; }

           private:
            std::atomic<int>* n_;
          };
          queue.AddTask(std::make_unique<Count>(&runs));
        }
      });
    }
    for (auto& t : producers)
      t.join();
  }
  EXPECT_EQ(2000, runs.load());
}

// Waits until |done| holds, for at most five seconds.
bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 5000 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return done();
}

TEST(TaskQueueWaiterTest, HearsItsDescriptorAndStaysAsleepOtherwise) {
  Thread thread("Waiter");
  EventfdWaiter waiter;
  {
    TaskQueue queue(&thread, &waiter);
    waiter.Signal();
    ASSERT_TRUE(Eventually([&] { return waiter.readable() == 1; }));
    // Nothing to wait for: the owner thread sleeps until told otherwise.
    const int waits = waiter.waits();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(waiter.waits(), waits);
    waiter.Signal();
    ASSERT_TRUE(Eventually([&] { return waiter.readable() == 2; }));
  }
  EXPECT_EQ(waiter.readable(), 2);
}

TEST(TaskQueueWaiterTest, WaitEndsWhenTheWaiterSaysSo) {
  Thread thread("Waiter");
  EventfdWaiter waiter(/*timeouts=*/3, /*timeout_ms=*/5);
  TaskQueue queue(&thread, &waiter);
  ASSERT_TRUE(Eventually([&] { return waiter.quiet() == 3; }));
  // No limit after that: no more wake-ups.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(waiter.quiet(), 3);
  EXPECT_EQ(waiter.readable(), 0);
}

// Runs |body| and nothing else.
class BodyTask : public TaskQueue::Task {
 public:
  explicit BodyTask(std::function<void()> body) : body_(std::move(body)) {}
  void Run() override { body_(); }

 private:
  std::function<void()> body_;
};

TEST(TaskQueueWaiterTest, TasksCannotStarveTheDescriptors) {
  Thread thread("Waiter");
  EventfdWaiter waiter;
  std::atomic<bool> stop{false};
  std::atomic<int> runs{0};
  // Outlives the queue, whose thread copies it until it stops.
  std::function<void()> again;
  {
    TaskQueue queue(&thread, &waiter);
    // Each task queues the next one: the queue is never empty.
    again = [&] {
      ++runs;
      if (!stop)
        queue.AddTask(std::make_unique<BodyTask>(again));
    };
    queue.AddTask(std::make_unique<BodyTask>(again));
    ASSERT_TRUE(Eventually([&] { return runs > 100; }));
    waiter.Signal();
    EXPECT_TRUE(Eventually([&] { return waiter.readable() == 1; }));
    stop = true;
  }
  EXPECT_GT(runs, 100);
}

using TaskQueueDeathTest = ::testing::Test;

TEST_F(TaskQueueDeathTest, EmptyTaskIsFatal) {
  EXPECT_DEATH(
      {
        Thread thread("Queue");
        TaskQueue queue(&thread);
        queue.AddTask(nullptr);
      },
      "task_queue.cc\\([0-9]+\\)\\] Failed: task ");
}

TEST_F(TaskQueueDeathTest, ShutdownTaskWithoutQueueIsFatal) {
  EXPECT_DEATH({ TaskQueue::ShutdownTask task(nullptr); },
               "Failed: task_queue_ ");
}

TEST_F(TaskQueueDeathTest, NullOwnerThreadIsFatal) {
  EXPECT_DEATH({ TaskQueue queue(nullptr); }, "Failed: owner_thread_ ");
}

TEST_F(TaskQueueDeathTest, StartedOwnerThreadIsFatal) {
  EXPECT_DEATH(
      {
        Thread thread("Started");
        thread.Start([] { return false; });
        TaskQueue queue(&thread);
      },
      "thread.cc\\([0-9]+\\)\\] Failed: State::NEW == state_ ");
}

}  // namespace
}  // namespace core
