#include "core/task_queue.h"

#include <utility>

#include "core/logging.h"

namespace core {

TaskQueue::ShutdownTask::ShutdownTask(TaskQueue* task_queue)
    : task_queue_(task_queue) {
  CHECK(task_queue_);
}

void TaskQueue::ShutdownTask::Run() {
  // Runs on the owner thread, which reads the flag under the mutex in Run().
  AutoLock lock(&task_queue_->mutex_);
  task_queue_->stopped_ = true;
}

TaskQueue::TaskQueue(Thread* owner_thread)
    : stopped_(false), owner_thread_(owner_thread), task_added_(&mutex_) {
  CHECK(owner_thread_);
  owner_thread_->Start([this] { return Run(); });
}

TaskQueue::~TaskQueue() {
  AddTask(std::make_unique<ShutdownTask>(this));
  owner_thread_->Join();
}

void TaskQueue::AddTask(std::unique_ptr<Task> task) {
  CHECK(task);
  AutoLock lock(&mutex_);
  pending_.push(std::move(task));
  // Signalling under the mutex cannot lose a wake-up: the owner either has
  // not yet tested the queue (and will see the task) or is already waiting.
  task_added_.Signal();
}

size_t TaskQueue::PendingCountForTesting() {
  AutoLock lock(&mutex_);
  return pending_.size();
}

bool TaskQueue::Run() {
  std::unique_ptr<Task> task;
  {
    AutoLock lock(&mutex_);
    while (pending_.empty() && !stopped_)
      task_added_.Wait();
    if (stopped_)
      return false;
    task = std::move(pending_.front());
    pending_.pop();
  }
  task->Run();
  task.reset();
  return true;
}

}  // namespace core
