// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Runs tasks one at a time, in the order they were added, on one thread.
//
//   core::Thread thread("Worker");
//   core::TaskQueue queue(&thread);     // starts |thread|
//   queue.AddTask(std::make_unique<MyTask>(...));
//   queue.PostTask([this, id] { Remove(id); });  // a one-off, no subclass
//
// AddTask may be called on any thread, also from a running task. Destroying
// the queue (never on its own thread, and with no AddTask overlapping) runs
// everything already pending, then stops and joins the thread; a task that
// arrives behind the stop is deleted unrun.
//
// A queue given a Waiter is also an event loop: while no task is pending its
// thread waits in poll() on the Waiter's descriptors as well, for as long as
// the Waiter allows, and tells it what became ready. Between two tasks it
// looks at the descriptors without blocking, so a stream of tasks cannot
// starve them.
#ifndef CORE_TASK_QUEUE_H_
#define CORE_TASK_QUEUE_H_

#include <poll.h>

#include <deque>
#include <memory>
#include <queue>
#include <utility>
#include <vector>

#include "core/synchronization.h"
#include "core/thread.h"

namespace core {

class TaskQueue {
 public:
  class Task {
   public:
    virtual ~Task() = default;
    // Runs on the queue's thread.
    virtual void Run() = 0;
  };

  // What the owner thread waits on besides new tasks. Both calls run on the
  // owner thread, never while a task runs, and never after the queue has
  // stopped.
  class Waiter {
   public:
    virtual ~Waiter() = default;
    // Appends the descriptors to wait on (events as for poll()) to the empty
    // |fds| and returns the longest wait in milliseconds, -1 for no limit.
    virtual int PrepareWait(std::vector<pollfd>* fds) = 0;
    // |fds| as filled in, with revents set by poll(): called after every
    // wait, whether a descriptor became ready, the time ran out or a task
    // arrived.
    virtual void OnWaitDone(const std::vector<pollfd>& fds) = 0;
  };

  // |owner_thread| is not owned, must still be NEW and must outlive the queue.
  // |waiter|, when given, is not owned and must outlive the queue; the owner
  // thread calls it from the start.
  explicit TaskQueue(Thread* owner_thread, Waiter* waiter = nullptr);
  TaskQueue(const TaskQueue&) = delete;
  TaskQueue& operator=(const TaskQueue&) = delete;
  ~TaskQueue();

  // May be called on any thread. Never blocks beyond the mutex.
  void AddTask(std::unique_ptr<Task> task);
  // A callable (move-only ones too) as a Task: owned by the queue from now
  // on, run or destroyed as AddTask's are.
  template <typename Callable>
  void PostTask(Callable task) {
    AddTask(std::make_unique<CallableTask<Callable>>(std::move(task)));
  }

  // The owner thread's loop function; runs one task per call, or waits.
  bool Run();

  // Number of tasks waiting to run; for tests that must order themselves
  // against the queue.
  size_t PendingCountForTesting();

  // Stops the queue it is given once everything queued before it has run.
  class ShutdownTask : public Task {
   public:
    explicit ShutdownTask(TaskQueue* task_queue);
    void Run() override;

   private:
    TaskQueue* const task_queue_;  // Not owned.
  };

 private:
  template <typename Callable>
  class CallableTask : public Task {
   public:
    explicit CallableTask(Callable task) : task_(std::move(task)) {}
    void Run() override { task_(); }

   private:
    Callable task_;
  };

  // Polls the waiter's descriptors (and |wake_fd_|) and tells the waiter;
  // without |block| it only looks. Owner thread only.
  void WaitForEvents(bool block);

  bool stopped_;  // Owner thread only, read and written under |mutex_|.
  Thread* const owner_thread_;
  Waiter* const waiter_;  // Not owned; may be null.
  // An eventfd that AddTask signals while the owner blocks in poll(); -1
  // without a waiter.
  const int wake_fd_;
  Mutex mutex_;
  std::queue<std::unique_ptr<Task>> pending_ CORE_GUARDED_BY(mutex_);
  CondVar task_added_;  // Signalled under |mutex_| by AddTask.
  // The owner is about to block or blocks in poll(); AddTask must signal
  // |wake_fd_|.
  bool polling_ CORE_GUARDED_BY(mutex_) = false;
  bool wake_signalled_ CORE_GUARDED_BY(mutex_) = false;
  std::vector<pollfd> waiter_fds_;  // Owner thread only; reused.
  std::vector<pollfd> poll_fds_;    // Owner thread only; reused.
};

}  // namespace core

#endif  // CORE_TASK_QUEUE_H_
