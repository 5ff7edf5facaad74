#include "core/task_queue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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

TEST(TaskQueueTest, RunsInOrderEachAfterThePreviousReturned) {
  Journal journal;
  {
    Thread thread("Queue");
    TaskQueue queue(&thread);
    queue.AddTask(Make(&journal, "A"));
    queue.AddTask(Make(&journal, "B"));
    queue.AddTask(Make(&journal, "C"));
  }
  std::vector<std::string> expected = {"run A begin", "run A end", "~A",
                                       "run B begin", "run B end", "~B",
                                       "run C begin", "run C end", "~C"};
  EXPECT_EQ(expected, journal.entries());
}

TEST(TaskQueueTest, TaskAddedByTaskRunsAfterEverythingPending) {
  Journal journal;
  Thread thread("Queue");
  Mutex gate_mutex;
  CondVar gate(&gate_mutex);
  bool open = false;
  bool d_ran = false;
  {
    TaskQueue queue(&thread);
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

TEST(TaskQueueTest, DestructionRunsPendingTasksFirst) {
  Journal journal;
  Thread thread("Queue");
  {
    TaskQueue queue(&thread);
    for (const char* name : {"1", "2", "3"})
      queue.AddTask(Make(&journal, name));
  }
  auto entries = journal.entries();
  ASSERT_EQ(9u, entries.size());
  EXPECT_EQ("~3", entries.back());
}

TEST(TaskQueueTest, TaskQueuedBehindShutdownIsDeletedUnrun) {
  Journal journal;
  Thread thread("Queue");
  TaskQueue* queue = new TaskQueue(&thread);
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

TEST(TaskQueueTest, IdleQueueStopsPromptly) {
  Thread thread("Idle");
  { TaskQueue queue(&thread); }
  EXPECT_EQ(Thread::State::JOINED, thread.state());
}

TEST(TaskQueueTest, ManyProducersLoseNothing) {
  Journal journal;
  std::atomic<int> runs{0};
  Thread thread("Busy");
  {
    TaskQueue queue(&thread);
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
