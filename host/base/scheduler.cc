// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/base/scheduler.h"

#include "core/logging.h"

namespace vantor_host {

Scheduler::Scheduler(const std::string& name) : thread_(name) {
  thread_.Start([this] { return RunOne(); });
}

Scheduler::~Scheduler() {
  Stop();
}

Scheduler::TaskId Scheduler::PostDelayed(Clock::duration delay, Task task) {
  core::AutoLock lock(&mutex_);
  if (stopping_)
    return 0;
  const TaskId id = ++last_id_;
  tasks_.emplace(std::make_pair(Clock::now() + delay, id), std::move(task));
  changed_.Signal();
  return id;
}

bool Scheduler::Cancel(TaskId id) {
  core::AutoLock lock(&mutex_);
  for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
    if (it->first.second == id) {
      tasks_.erase(it);
      return true;
    }
  }
  return false;
}

void Scheduler::Stop() {
  {
    core::AutoLock lock(&mutex_);
    if (stopping_)
      return;
    // A task cannot wait for its own thread to end.
    CHECK(!thread_.IsCurrentThread());
    stopping_ = true;
    changed_.Signal();
  }
  thread_.Join();
}

bool Scheduler::RunOne() {
  Task task;
  {
    core::AutoLock lock(&mutex_);
    for (;;) {
      const Clock::time_point now = Clock::now();
      if (!tasks_.empty() && tasks_.begin()->first.first <= now)
        break;
      if (stopping_) {
        tasks_.clear();  // Only future work is left: dropped.
        return false;
      }
      if (tasks_.empty())
        changed_.Wait();
      else
        changed_.WaitUntil(tasks_.begin()->first.first);
    }
    task = std::move(tasks_.begin()->second);
    tasks_.erase(tasks_.begin());
  }
  task();
  return true;
}

}  // namespace vantor_host
