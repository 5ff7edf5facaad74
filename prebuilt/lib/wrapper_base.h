// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The two wrapper halves that every interface bridge is made of.
//
// Structure side: StructWrapper<Impl, C_API_X, X> owns the C structure as its
// first member, so the C_API_X* handed to the peer is the wrapper's address.
// Each slot is either generated from a method of X,
//
//   Forward<&C_API_X::GetConnectionStatus, &X::GetConnectionStatus>();
//
// or written as a captureless lambda when the operation does more than
// convert. Generated slots convert each C argument to the method's parameter
// type (strings are copied, int truth values become bool, vectors and
// callbacks are rebuilt) and the result back; a method returning a string
// or vector fills the slot's trailing C_API_StringResult/C_API_VectorResult.
//
// Interface side: PeerWrapper<C_API_X> holds the peer's structure and offers
//
//   return Call<&C_API_X::GetConnectionStatus, ConnectionStatus>();
//
// which converts the arguments to the slot's C parameter types (strings are
// views, callbacks and listener objects become new structures built for the
// peer's implementation version) and the C result to the given type.
//
// Getters that hand out one object for the wrapper's life keep it in a
// Cached member, filled by a generated slot on the structure side,
//
//   ForwardCached<&C_API_X::GetInput, &X::GetInput, &AudioInputToC,
//                 &Self::input_>();
//
// and by one call on the interface side:
//
//   return CallCached<&C_API_X::GetInput, &AudioInputFromC>(&input_);
#ifndef PREBUILT_LIB_WRAPPER_BASE_H_
#define PREBUILT_LIB_WRAPPER_BASE_H_

#include <string.h>

#include <tuple>
#include <type_traits>
#include <utility>

#include "prebuilt/lib/abi_wrapper.h"

namespace assistant_client {
namespace internal_api {

template <typename T>
using Decay = std::remove_cv_t<std::remove_reference_t<T>>;

template <typename T>
struct IsVector : std::false_type {};
template <typename E>
struct IsVector<std::vector<E>> : std::true_type {};

template <typename T>
struct IsCallback : std::false_type {};
template <bool repeatable, typename... Args>
struct IsCallback<Callback<repeatable, Args...>> : std::true_type {};

template <typename CStruct, typename = void>
struct HasDestroySlot : std::false_type {};
template <typename CStruct>
struct HasDestroySlot<CStruct, std::void_t<decltype(&CStruct::Destroy)>>
    : std::true_type {};

// Decomposes a slot member pointer: R (*C::*)(Self*, A...).
template <typename SlotPointer>
struct SlotTraits;
template <typename C, typename R, typename S, typename... A>
struct SlotTraits<R (*C::*)(S*, A...)> {
  using Return = R;
  using Self = S;
  using Args = std::tuple<A...>;
  static constexpr size_t kArity = sizeof...(A);
};

template <typename MethodPointer>
struct MethodTraits;
template <typename O, typename R, typename... A>
struct MethodTraits<R (O::*)(A...)> {
  using Return = R;
  using Args = std::tuple<Decay<A>...>;
  static constexpr size_t kArity = sizeof...(A);
};
template <typename O, typename R, typename... A>
struct MethodTraits<R (O::*)(A...) const> : MethodTraits<R (O::*)(A...)> {};

// ---- C argument -> interface argument (structure side) ----------------------

template <typename T, typename CArg>
T ArgFromC(CArg c) {
  if constexpr (IsVector<T>::value) {
    return VectorFromC<typename T::value_type>(c);
  } else if constexpr (IsCallback<T>::value) {
    return PeerCallback<std::remove_pointer_t<CArg>, T>::Wrap(c);
  } else {
    return AbiWrapper<T>::FromC(static_cast<typename AbiWrapper<T>::CType>(c));
  }
}

// ---- interface argument -> C argument (interface side) ----------------------

template <typename CArg, typename T>
CArg ArgToC(T&& value, int version) {
  using V = Decay<T>;
  if constexpr (IsVector<V>::value) {
    return VectorToC(value);
  } else if constexpr (IsCallback<V>::value) {
    return CallbackStructImpl<std::remove_pointer_t<CArg>, V>::New(
        std::move(value), version);
  } else {
    return static_cast<CArg>(ToCValue<V>(value, version));
  }
}

template <typename T>
constexpr bool kArgNeedsVersion =
    std::disjunction_v<IsCallback<Decay<T>>, NeedsVersion<Decay<T>>>;

inline C_API_StringResult ResultFromCpp(std::string* out) {
  return StringResultFromCpp(out);
}
template <typename E>
C_API_VectorResult ResultFromCpp(std::vector<E>* out) {
  return VectorResultFromCpp(out);
}
inline void AssignResult(const std::string& value, C_API_StringResult result) {
  AssignStringResult(value, result);
}
template <typename E>
void AssignResult(const std::vector<E>& value, C_API_VectorResult result) {
  AssignVectorResult(value, result);
}

// ---- Caches -----------------------------------------------------------------

// Whether a cached getter may answer null; one that may not stops the process
// in the conversion, as an uncached one would.
enum class Nullable : bool { kNo = false, kYes = true };

// A wrapper's object built on the first ask and handed out from then on. The
// lock spans the check and the build, so concurrent first asks build one
// object and ask the peer once; a null answer is kept as well (the peer is
// asked once, so it stays null).
template <typename T>
class Cached {
 public:
  Cached() = default;
  Cached(const Cached&) = delete;
  Cached& operator=(const Cached&) = delete;

  template <typename Build>
  T* Get(Build&& build) {
    AutoLock hold(&lock_);
    if (!built_) {
      value_ = build();
      built_ = true;
    }
    return value_;
  }

  // What was built, or null; for the owner's destructor, when nobody asks.
  T* get() const { return value_; }

 private:
  Lock lock_;  // Guards the two below.
  T* value_ = nullptr;
  bool built_ = false;
};

// ---- Structure side ---------------------------------------------------------

template <typename Impl, auto CSlot, auto Method>
struct ForwardSlot;

// The slot that StructWrapper::ForwardCached() generates.
template <typename Impl,
          auto CSlot,
          auto Method,
          auto ToC,
          auto CacheMember,
          Nullable kNullable>
struct CachedSlot {
  using Slot = SlotTraits<decltype(CSlot)>;
  using CReturn = typename Slot::Return;

  static CReturn Call(typename Slot::Self* self) {
    Impl* me = Impl::From(self);
    return GuardSlot(__PRETTY_FUNCTION__, [me] {
      return (me->*CacheMember).Get([me]() -> CReturn {
        auto* object = (me->object_->*Method)();
        if (kNullable == Nullable::kYes && !object)
          return nullptr;
        return ToC(object, me->peer_api_version());
      });
    });
  }
};

template <typename Derived, typename CStruct, typename Object>
class StructWrapper {
 public:
  using CType = CStruct;
  using ObjectType = Object;

  static Derived* From(CStruct* self) {
    return static_cast<Derived*>(reinterpret_cast<StructWrapper*>(self));
  }
  CStruct* c_struct() { return &c_api_; }
  Object* underlying_obj() const { return object_; }
  int peer_api_version() const { return c_api_.descriptor.peer_api_version; }

  CStruct c_api_;  // First: the peer's pointer is this object's address.
  Object* object_;
  bool owned_;  // Whether object_ dies with the wrapper.

 protected:
  StructWrapper(Object* object, bool owned, int version)
      : object_(object), owned_(owned) {
    memset(&c_api_, 0, sizeof(c_api_));
    VANTOR_API_ASSERT(object);
    InitDescriptor(&c_api_.descriptor, version);
    if constexpr (HasDestroySlot<CStruct>::value)
      c_api_.Destroy = [](CStruct* self) { delete From(self); };
  }
  ~StructWrapper() { ReleaseObject(); }

  // Deletes an owned object now; for wrappers whose release order puts the
  // object before other members.
  void ReleaseObject() {
    if (owned_)
      delete object_;
    object_ = nullptr;
  }

  // Fills |CSlot| with a slot generated from |Method| of the object.
  template <auto CSlot, auto Method>
  void Forward() {
    c_api_.*CSlot = &ForwardSlot<Derived, CSlot, Method>::Call;
  }

  // Fills |CSlot| with a slot that answers ToC of what |Method| of the object
  // returns, built for this structure's peer on the first call and kept in
  // the Cached member |CacheMember| of the wrapper.
  template <auto CSlot,
            auto Method,
            auto ToC,
            auto CacheMember,
            Nullable kNullable = Nullable::kNo>
  void ForwardCached() {
    c_api_.*CSlot =
        &CachedSlot<Derived, CSlot, Method, ToC, CacheMember, kNullable>::Call;
  }
};

template <typename Impl>
void DeleteStruct(typename Impl::CType* c) {
  if (c)
    delete Impl::From(c);
}

template <typename Impl, auto CSlot, auto Method>
struct ForwardSlot {
  using Slot = SlotTraits<decltype(CSlot)>;
  using M = MethodTraits<decltype(Method)>;
  using CReturn = typename Slot::Return;
  using MReturn = Decay<typename M::Return>;
  static_assert(Slot::kArity == M::kArity ||
                    (Slot::kArity == M::kArity + 1 && std::is_void_v<CReturn>),
                "slot and method do not match");

  template <typename CStruct, typename... CArgs>
  static CReturn Call(CStruct* self, CArgs... c_args) {
    auto* object = Impl::From(self)->object_;
    return GuardSlot(__PRETTY_FUNCTION__, [&]() -> CReturn {
      return Run(object, std::make_index_sequence<M::kArity>(),
                 std::forward_as_tuple(c_args...));
    });
  }

 private:
  template <typename Object, size_t... I, typename Tuple>
  static CReturn Run(Object* object, std::index_sequence<I...>, Tuple c_args) {
    if constexpr (Slot::kArity == M::kArity + 1) {
      AssignResult(
          (object->*Method)(ArgFromC<std::tuple_element_t<I, typename M::Args>>(
              std::get<I>(c_args))...),
          std::get<M::kArity>(c_args));
    } else if constexpr (std::is_void_v<CReturn>) {
      (object->*Method)(ArgFromC<std::tuple_element_t<I, typename M::Args>>(
          std::get<I>(c_args))...);
    } else {
      return static_cast<CReturn>(AbiWrapper<MReturn>::ToC(
          (object->*Method)(ArgFromC<std::tuple_element_t<I, typename M::Args>>(
              std::get<I>(c_args))...)));
    }
  }
};

// ---- Interface side ---------------------------------------------------------

template <typename CStruct>
class PeerWrapper {
 public:
  CStruct* underlying_obj() const { return c_object_; }

 protected:
  explicit PeerWrapper(CStruct* c_object) : c_object_(c_object) {
    VANTOR_API_ASSERT(c_object);
  }
  // Releases the peer's structure unless a subclass already did.
  ~PeerWrapper() { ReleasePeer(); }

  // Calls the peer's Destroy slot, where the structure has one, now; for
  // wrappers whose release order puts the peer before other members.
  void ReleasePeer() {
    if constexpr (HasDestroySlot<CStruct>::value) {
      if (c_object_)
        c_object_->Destroy(c_object_);
    }
    c_object_ = nullptr;
  }

  int peer_version() const { return GetImplApiVersion(c_object_); }

  // FromC of the peer's answer to |Slot|, asked for on the first call and
  // kept in |cache| from then on.
  template <auto Slot,
            auto FromC,
            Nullable kNullable = Nullable::kNo,
            typename T>
  T* CallCached(Cached<T>* cache) {
    return cache->Get([this]() -> T* {
      auto* c = (c_object_->*Slot)(c_object_);
      if (kNullable == Nullable::kYes && !c)
        return nullptr;
      return FromC(c);
    });
  }

  // Calls |Slot| with |args| converted to its C parameters; the result (a C
  // return value, or the slot's trailing result parameter) becomes an R.
  template <auto Slot, typename R = void, typename... A>
  R Call(A&&... args) const {
    using S = SlotTraits<decltype(Slot)>;
    int version = 0;
    if constexpr ((kArgNeedsVersion<A> || ...))
      version = peer_version();
    return CallWith<S, R>(c_object_->*Slot, version,
                          std::make_index_sequence<sizeof...(A)>(),
                          std::forward<A>(args)...);
  }

  CStruct* c_object_;  // The peer's structure; released on destruction.

 private:
  template <typename S, typename R, typename Fn, size_t... I, typename... A>
  R CallWith(Fn fn, int version, std::index_sequence<I...>, A&&... args) const {
    (void)version;
    if constexpr (S::kArity == sizeof...(A) + 1) {
      R result{};
      fn(c_object_,
         ArgToC<std::tuple_element_t<I, typename S::Args>>(
             std::forward<A>(args), version)...,
         ResultFromCpp(&result));
      return result;
    } else if constexpr (std::is_void_v<R>) {
      fn(c_object_, ArgToC<std::tuple_element_t<I, typename S::Args>>(
                        std::forward<A>(args), version)...);
    } else {
      return AbiWrapper<R>::FromC(static_cast<typename AbiWrapper<R>::CType>(
          fn(c_object_, ArgToC<std::tuple_element_t<I, typename S::Args>>(
                            std::forward<A>(args), version)...)));
    }
  }
};

}  // namespace internal_api
}  // namespace assistant_client

#endif  // PREBUILT_LIB_WRAPPER_BASE_H_
