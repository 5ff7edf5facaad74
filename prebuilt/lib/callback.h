// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The move-only callable behind every asynchronous answer of the public
// interfaces.
//
//   assistant_client::Callback<false, bool> done([](bool ok) { ... });
//   manager->PlayAudioWithFocus(id, type, std::move(done));
//
// Callback<false, ...> runs at most once and releases its state right after
// that run; Callback<true, ...> may run any number of times and releases its
// state when destroyed. A moved-from callback is empty and running it does
// nothing. Callbacks are not synchronized: one callback must not be run,
// moved or destroyed from two threads at once.
//
// The layout (data, run, destroy: three pointers) is what crosses the C ABI;
// do not add members.
#ifndef PREBUILT_LIB_CALLBACK_H_
#define PREBUILT_LIB_CALLBACK_H_

#include <type_traits>
#include <utility>

namespace assistant_client {

// Carries an argument list for template deduction.
template <typename... Args>
struct Pack {};

template <bool repeatable, typename... Args>
class Callback {
 public:
  using RunFunction = void (*)(void* data, Args...);
  using DestroyFunction = void (*)(void* data);
  using ArgsPack = Pack<Args...>;
  static constexpr bool kRepeatable = repeatable;

  Callback() = default;

  // |destroy| releases |data|; it must be non-null whenever |data| is.
  Callback(void* data, RunFunction run, DestroyFunction destroy)
      : data_(data), run_(run), destroy_(destroy) {}

  // Wraps any callable taking |Args...|; the callable lives on the heap.
  template <typename F,
            typename Functor = std::decay_t<F>,
            typename = std::enable_if_t<!std::is_same_v<Functor, Callback> &&
                                        std::is_invocable_v<Functor&, Args...>>>
  Callback(F&& f)  // NOLINT(google-explicit-constructor): lambdas read best.
      : data_(new Functor(std::forward<F>(f))),
        run_(&RunFunctor<Functor>),
        destroy_(&DeleteFunctor<Functor>) {}

  Callback(Callback&& other) noexcept { MoveCallback(this, &other); }
  Callback& operator=(Callback&& other) noexcept {
    if (this != &other) {
      RemoveUnderlyingCallback();
      MoveCallback(this, &other);
    }
    return *this;
  }
  Callback(const Callback&) = delete;
  Callback& operator=(const Callback&) = delete;

  ~Callback() { RemoveUnderlyingCallback(); }

  explicit operator bool() const { return run_ != nullptr; }

  void operator()(Args... args) {
    if (!run_)
      return;
    if (repeatable) {
      run_(data_, args...);
      return;
    }
    // Detach before running, so that a run that reaches this callback again
    // (re-entrantly or by moving it) finds it empty.
    Callback once(std::move(*this));
    once.run_(once.data_, args...);
  }

  // Releases the callable's state without running it; leaves this empty.
  void RemoveUnderlyingCallback() {
    if (data_)
      destroy_(data_);
    data_ = nullptr;
    run_ = nullptr;
    destroy_ = nullptr;
  }

 private:
  static void MoveCallback(Callback* dst, Callback* src) {
    if (dst == src)
      return;
    dst->data_ = src->data_;
    dst->run_ = src->run_;
    dst->destroy_ = src->destroy_;
    src->data_ = nullptr;
    src->run_ = nullptr;
    src->destroy_ = nullptr;
  }

  template <typename Functor>
  static void RunFunctor(void* data, Args... args) {
    (*static_cast<Functor*>(data))(std::forward<Args>(args)...);
  }

  template <typename Functor>
  static void DeleteFunctor(void* data) {
    delete static_cast<Functor*>(data);
  }

  void* data_ = nullptr;
  RunFunction run_ = nullptr;
  DestroyFunction destroy_ = nullptr;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_CALLBACK_H_
