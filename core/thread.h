// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// A named POSIX thread that calls a loop function until it returns false.
//
//   core::Thread thread("Worker");
//   thread.Start([&] { return DoOneUnit(); });
//   ...                      // make the loop function return false
//   thread.Join();
//
// A Thread runs at most one thread in its life (NEW -> RUNNING -> JOINED).
// Start, Join and the destructor belong to the owning thread; destroying a
// started thread that was not joined is fatal.
#ifndef CORE_THREAD_H_
#define CORE_THREAD_H_

#include <pthread.h>

#include <functional>
#include <string>

namespace core {

class Thread {
 public:
  enum class State : int { NEW = 0, RUNNING = 1, JOINED = 2 };

  explicit Thread(const std::string& name);
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  virtual ~Thread();

  void Start(std::function<bool()> fn);
  // Waits for the loop function to return false; a no-op unless RUNNING.
  void Join();
  // Meaningful only after Start().
  bool IsCurrentThread() const;

  State state() const { return state_; }
  const std::string& name() const { return name_; }

 private:
  static void* Entry(void* self);
  void Run();

  const std::string name_;
  std::function<bool()> fn_;
  pthread_t handle_;
  State state_;  // Owning thread only; the new thread never reads it.
};

}  // namespace core

#endif  // CORE_THREAD_H_
