// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The stand-in host's own thread: every listener call, turn step and
// scheduled event of one assistant manager runs on it, in time order.
//
//   Scheduler scheduler("VantorHost");
//   scheduler.Post([] { ... });                          // as soon as possible
//   TaskId id = scheduler.PostDelayed(200ms, [] { ... });
//   scheduler.Cancel(id);                                // not run
//
// Tasks due at the same time run in the order they were posted. Post,
// PostDelayed and Cancel may be called on any thread, also from a task.
#ifndef HOST_BASE_SCHEDULER_H_
#define HOST_BASE_SCHEDULER_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "core/synchronization.h"
#include "core/thread.h"

namespace vantor_host {

// Where work that must not run on the caller's thread goes; tests run it
// inline instead.
class TaskRunner {
 public:
  using Task = std::function<void()>;
  virtual ~TaskRunner() = default;
  virtual void PostTask(Task task) = 0;
};

// Runs each task at once, on the poster's thread.
class InlineTaskRunner : public TaskRunner {
 public:
  void PostTask(Task task) override { task(); }
};

class Scheduler : public TaskRunner {
 public:
  using Clock = std::chrono::steady_clock;
  using TaskId = uint64_t;  // 0 is never an id.

  // Starts the thread, named |name|.
  explicit Scheduler(const std::string& name);
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;
  // Stop().
  ~Scheduler() override;

  void PostTask(Task task) override { Post(std::move(task)); }
  TaskId Post(Task task) { return PostDelayed(Clock::duration::zero(), task); }
  TaskId PostDelayed(Clock::duration delay, Task task);
  // Whether |id| was still waiting: it will not run. False once it started.
  bool Cancel(TaskId id);

  // Runs what is due now, drops the rest (later posts too) and joins the
  // thread. Not on the thread itself.
  void Stop();

  bool IsCurrentThread() const { return thread_.IsCurrentThread(); }

 private:
  // One pass of the thread's loop: waits for the earliest task and runs it.
  bool RunOne();

  core::Mutex mutex_;
  core::CondVar changed_{&mutex_};  // Signalled under |mutex_|.
  // By due time, then posting order (the id).
  std::map<std::pair<Clock::time_point, TaskId>, Task> tasks_
      CORE_GUARDED_BY(mutex_);
  TaskId last_id_ CORE_GUARDED_BY(mutex_) = 0;
  bool stopping_ CORE_GUARDED_BY(mutex_) = false;
  core::Thread thread_;
};

}  // namespace vantor_host

#endif  // HOST_BASE_SCHEDULER_H_
