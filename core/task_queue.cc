// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "core/task_queue.h"

#include <errno.h>
#include <stdint.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <utility>

#include "core/eintr_wrapper.h"
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

TaskQueue::TaskQueue(Thread* owner_thread, Waiter* waiter)
    : stopped_(false),
      owner_thread_(owner_thread),
      waiter_(waiter),
      wake_fd_(waiter ? eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1),
      task_added_(&mutex_) {
  CHECK(owner_thread_);
  CHECK(!waiter_ || wake_fd_ >= 0);
  owner_thread_->Start([this] { return Run(); });
}

TaskQueue::~TaskQueue() {
  AddTask(std::make_unique<ShutdownTask>(this));
  owner_thread_->Join();
  if (wake_fd_ >= 0)
    close(wake_fd_);
}

void TaskQueue::AddTask(std::unique_ptr<Task> task) {
  CHECK(task);
  AutoLock lock(&mutex_);
  pending_.push(std::move(task));
  if (!waiter_) {
    // Signalling under the mutex cannot lose a wake-up: the owner either has
    // not yet tested the queue (and will see the task) or is already waiting.
    task_added_.Signal();
    return;
  }
  // The same holds for the eventfd: the owner sets |polling_| under the
  // mutex after finding the queue empty, so a task added after that test
  // leaves the descriptor readable for its poll(). One signal per wait is
  // enough.
  if (polling_ && !wake_signalled_) {
    const uint64_t one = 1;
    CHECK(HANDLE_EINTR(write(wake_fd_, &one, sizeof(one))) == sizeof(one));
    wake_signalled_ = true;
  }
}

size_t TaskQueue::PendingCountForTesting() {
  AutoLock lock(&mutex_);
  return pending_.size();
}

bool TaskQueue::Run() {
  std::unique_ptr<Task> task;
  {
    AutoLock lock(&mutex_);
    while (!waiter_ && pending_.empty() && !stopped_)
      task_added_.Wait();
    if (stopped_)
      return false;
    if (!pending_.empty()) {
      task = std::move(pending_.front());
      pending_.pop();
    } else {
      polling_ = true;
    }
  }
  if (!task) {
    WaitForEvents(/*block=*/true);
    return true;
  }
  task->Run();
  task.reset();
  if (waiter_) {
    {
      AutoLock lock(&mutex_);
      if (stopped_)
        return true;  // The next call ends the loop.
    }
    WaitForEvents(/*block=*/false);
  }
  return true;
}

void TaskQueue::WaitForEvents(bool block) {
  waiter_fds_.clear();
  const int timeout_ms = waiter_->PrepareWait(&waiter_fds_);
  poll_fds_.assign(1, pollfd{wake_fd_, POLLIN, 0});
  poll_fds_.insert(poll_fds_.end(), waiter_fds_.begin(), waiter_fds_.end());
  const int ready =
      poll(poll_fds_.data(), poll_fds_.size(), block ? timeout_ms : 0);
  // EINTR and a transient ENOMEM read as "nothing ready": the waiter checks
  // its own clock and the next call waits again.
  CHECK(ready >= 0 || errno == EINTR || errno == ENOMEM);
  for (size_t i = 0; i < waiter_fds_.size(); ++i)
    waiter_fds_[i].revents = ready > 0 ? poll_fds_[i + 1].revents : 0;
  if (block) {
    bool signalled;
    {
      AutoLock lock(&mutex_);
      polling_ = false;
      signalled = wake_signalled_;
      wake_signalled_ = false;
    }
    // Written under the mutex before |wake_signalled_| was set, so there is
    // something to read.
    if (signalled) {
      uint64_t count;
      CHECK(HANDLE_EINTR(read(wake_fd_, &count, sizeof(count))) ==
            sizeof(count));
    }
  }
  waiter_->OnWaitDone(waiter_fds_);
}

}  // namespace core
