// Runs tasks one at a time, in the order they were added, on one thread.
//
//   core::Thread thread("Worker");
//   core::TaskQueue queue(&thread);     // starts |thread|
//   queue.AddTask(std::make_unique<MyTask>(...));
//
// AddTask may be called on any thread, also from a running task. Destroying
// the queue (never on its own thread, and with no AddTask overlapping) runs
// everything already pending, then stops and joins the thread; a task that
// arrives behind the stop is deleted unrun.
#ifndef CORE_TASK_QUEUE_H_
#define CORE_TASK_QUEUE_H_

#include <deque>
#include <memory>
#include <queue>

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

  // |owner_thread| is not owned, must still be NEW and must outlive the queue.
  explicit TaskQueue(Thread* owner_thread);
  TaskQueue(const TaskQueue&) = delete;
  TaskQueue& operator=(const TaskQueue&) = delete;
  ~TaskQueue();

  // May be called on any thread. Never blocks beyond the mutex.
  void AddTask(std::unique_ptr<Task> task);

  // The owner thread's loop function; runs one task per call.
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
  bool stopped_;  // Owner thread only, read and written under |mutex_|.
  Thread* const owner_thread_;
  Mutex mutex_;
  std::queue<std::unique_ptr<Task>> pending_ CORE_GUARDED_BY(mutex_);
  CondVar task_added_;  // Signalled under |mutex_| by AddTask.
};

}  // namespace core

#endif  // CORE_TASK_QUEUE_H_
