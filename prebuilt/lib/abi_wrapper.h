// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Conversions between interface values and their C forms: the AbiWrapper
// family for scalars, strings and pairs, vectors, and callbacks.
//
//   C_API_Callback* c = CallbackToC(std::move(done), version);
//   Callback<false, bool> back = CallbackFromC<Callback<false, bool>>(c);
//
// How a one-shot callback crosses: running the interface-side callback calls
// the structure's Invoke (which runs and releases the inner callback) and
// then its Destroy; dropping it unrun calls Destroy only, which releases the
// inner callback's data. The receiver of a callback structure thus calls
// Invoke zero or more times and Destroy exactly once.
#ifndef PREBUILT_LIB_ABI_WRAPPER_H_
#define PREBUILT_LIB_ABI_WRAPPER_H_

#include <string.h>

#include <algorithm>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "prebuilt/lib/api_wrappers.h"

namespace assistant_client {
namespace internal_api {

// Aborts through the C library's assertion routine, naming the bridge as
// the source and |function| as the failing function.
[[noreturn]] void AssertionFailed(int line, const char* function);

// Reports the exception being handled, caught at the C boundary in |slot|.
// Goes to standard error, not to the logging library: a client's bridge
// must not call into whichever host library it runs with.
void ReportEscapedException(const char* slot) noexcept;

#define VANTOR_API_ASSERT(condition)                                          \
  do {                                                                        \
    if (!(condition))                                                         \
      ::assistant_client::internal_api::AssertionFailed(__LINE__,             \
                                                        __PRETTY_FUNCTION__); \
  } while (0)

// Slots and callback structures run inside the peer's C frames, which an
// exception must never unwind: GuardSlot runs a slot's body, and anything it
// throws is reported and answered with a value-initialized result (or an
// untouched result parameter). |slot| names the slot in the report.
template <typename Body>
auto GuardSlot(const char* slot, Body&& body) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (...) {
    ReportEscapedException(slot);
    if constexpr (!std::is_void_v<decltype(body())>)
      return decltype(body()){};
  }
}

// ---- Scalars, strings and pairs ---------------------------------------------

// A value that crosses unchanged.
template <typename T>
struct NoAbiWrapper {
  using CType = T;
  static CType ToC(T value) { return value; }
  static T FromC(CType value) { return value; }
};

// A value that crosses as another type (enumerations as their number).
template <typename T, typename C>
struct NoAbiWrapperWithCast {
  using CType = C;
  static CType ToC(T value) { return static_cast<C>(value); }
  static T FromC(CType value) { return static_cast<T>(value); }
};

// For each interface that crosses as a plain argument or result: its C
// structure and the …ToC / …FromC pair that take no ownership flag.
template <typename X>
struct InterfaceBridge;

template <typename X, typename = void>
struct IsBridged : std::false_type {};
template <typename X>
struct IsBridged<X, std::void_t<typename InterfaceBridge<X>::CType>>
    : std::true_type {};

template <typename T>
constexpr bool kIsBridgedPointer =
    std::is_pointer_v<T>&& IsBridged<std::remove_pointer_t<T>>::value;

// Defined only for types that have a C form.
template <typename T, typename = void>
struct AbiWrapper;

// Numbers cross unchanged; raw pointers (sample buffers, out-parameters) are
// passed through as they are.
template <typename T>
struct AbiWrapper<
    T,
    std::enable_if_t<std::is_arithmetic_v<T> ||
                     (std::is_pointer_v<T> && !kIsBridgedPointer<T>)>>
    : NoAbiWrapper<T> {};

template <typename T>
struct AbiWrapper<T, std::enable_if_t<std::is_enum_v<T>>>
    : NoAbiWrapperWithCast<T, int> {};

template <>
struct AbiWrapper<bool> {
  using CType = int;
  static CType ToC(bool value) { return value ? 1 : 0; }
  static bool FromC(CType value) { return value != 0; }
};

// The only floats of the interfaces are volumes.
template <>
struct AbiWrapper<float> {
  using CType = int;
  static CType ToC(float value) { return PackVolume(value); }
  static float FromC(CType value) { return UnpackVolume(value); }
};

template <>
struct AbiWrapper<std::string> {
  using CType = C_API_String;
  static CType ToC(const std::string& value) { return StringToC(value); }
  static std::string FromC(const CType& value) { return StringFromC(value); }
};

template <>
struct AbiWrapper<std::pair<std::string, std::string>> {
  using CType = C_API_PairOfStrings;
  static CType ToC(const std::pair<std::string, std::string>& value) {
    return {StringToC(value.first), StringToC(value.second)};
  }
  static std::pair<std::string, std::string> FromC(const CType& value) {
    return {StringFromC(value.first), StringFromC(value.second)};
  }
};

#define VANTOR_INTERFACE_BRIDGE(Interface, Name)                         \
  template <>                                                            \
  struct InterfaceBridge<Interface> {                                    \
    using CType = C_API_##Name;                                          \
    static CType* ToC(Interface* value, int version) {                   \
      return Name##ToC(value, version);                                  \
    }                                                                    \
    static Interface* FromC(CType* value) { return Name##FromC(value); } \
  };
VANTOR_INTERFACE_BRIDGE(AssistantManager, AssistantManager)
VANTOR_INTERFACE_BRIDGE(PlatformFactory, PlatformFactory)
VANTOR_INTERFACE_BRIDGE(PlatformApi, PlatformApi)
VANTOR_INTERFACE_BRIDGE(DeviceActionHandler, DeviceActionHandler)
VANTOR_INTERFACE_BRIDGE(DeviceStateListener, DeviceStateListener)
VANTOR_INTERFACE_BRIDGE(ConversationStateListener, ConversationStateListener)
VANTOR_INTERFACE_BRIDGE(MdnsResponder, MdnsResponder)
VANTOR_INTERFACE_BRIDGE(PowerManagerProvider, PowerManagerProvider)
VANTOR_INTERFACE_BRIDGE(AudioInput, AudioInput)
VANTOR_INTERFACE_BRIDGE(AudioInput::Observer, AudioInputObserver)
VANTOR_INTERFACE_BRIDGE(AudioOutput, AudioOutput)
VANTOR_INTERFACE_BRIDGE(AudioOutput::Delegate, AudioOutputDelegate)
VANTOR_INTERFACE_BRIDGE(VolumeControl, VolumeControl)
VANTOR_INTERFACE_BRIDGE(MediaManager, MediaManager)
VANTOR_INTERFACE_BRIDGE(MediaManager::Listener, MediaManagerListener)
VANTOR_INTERFACE_BRIDGE(DebugInterface, DebugInterface)
VANTOR_INTERFACE_BRIDGE(DebugHttpContext, DebugHttpContext)
#undef VANTOR_INTERFACE_BRIDGE

// An interface object crosses as a new structure built for the peer.
template <typename X>
struct AbiWrapper<X*, std::enable_if_t<IsBridged<X>::value>> {
  using CType = typename InterfaceBridge<X>::CType*;
  static CType ToC(X* value, int version) {
    return InterfaceBridge<X>::ToC(value, version);
  }
  static X* FromC(CType value) { return InterfaceBridge<X>::FromC(value); }
};

// Whether building the C form of a T needs the peer's version.
template <typename T>
struct NeedsVersion : std::bool_constant<kIsBridgedPointer<T>> {};

// The C form of |value|; |version| serves values that build structures.
template <typename T>
typename AbiWrapper<T>::CType ToCValue(const T& value, int version) {
  if constexpr (NeedsVersion<T>::value)
    return AbiWrapper<T>::ToC(value, version);
  else
    return AbiWrapper<T>::ToC(value);
}

// ---- Vectors ----------------------------------------------------------------

template <typename T>
void GetVectorElement(const void* vector, int index, void* out_element) {
  const auto& v = *static_cast<const std::vector<T>*>(vector);
  *static_cast<typename AbiWrapper<T>::CType*>(out_element) =
      AbiWrapper<T>::ToC(v[index]);
}

// A view of |v|, valid while |v| lives unchanged.
template <typename T>
C_API_Vector VectorToC(const std::vector<T>& v) {
  return {static_cast<uint32_t>(v.size()), &GetVectorElement<T>, &v};
}

template <typename T>
std::vector<T> VectorFromC(C_API_Vector c) {
  std::vector<T> out;
  if (c.size == 0 || !c.get_element)
    return out;
  out.reserve(std::min<uint32_t>(c.size, 1024));
  for (uint32_t i = 0; i < c.size; ++i) {
    typename AbiWrapper<T>::CType element{};
    c.get_element(c.vector, static_cast<int>(i), &element);
    out.push_back(AbiWrapper<T>::FromC(element));
  }
  return out;
}

template <typename T>
void ReserveVectorSize(unsigned int size, void* target) {
  // Only a hint: a peer's bogus count must not exhaust memory up front.
  static_cast<std::vector<T>*>(target)->reserve(std::min(size, 1024u));
}

template <typename T>
void AppendVectorElement(const void* element, void* target) {
  static_cast<std::vector<T>*>(target)->push_back(AbiWrapper<T>::FromC(
      *static_cast<const typename AbiWrapper<T>::CType*>(element)));
}

template <typename T>
C_API_VectorResult VectorResultFromCpp(std::vector<T>* out) {
  VANTOR_API_ASSERT(out);
  return {&ReserveVectorSize<T>, &AppendVectorElement<T>, out};
}

template <typename T>
void AssignVectorResult(const std::vector<T>& v, C_API_VectorResult result) {
  result.reserve(static_cast<unsigned int>(v.size()), result.target);
  for (const T& element : v) {
    typename AbiWrapper<T>::CType c_element = AbiWrapper<T>::ToC(element);
    result.append(&c_element, result.target);
  }
}

// ---- Callbacks --------------------------------------------------------------

template <typename CStruct>
constexpr bool kIsGenericCallback = std::is_same_v<CStruct, C_API_Callback>;

// A callback structure that owns a moved-in Callback: the generic
// C_API_Callback, or one of the named callback structures, whose Invoke is
// typed. Built only by CallbackStructImpl::New.
template <typename CStruct, typename Cb>
class CallbackStructImpl;

template <typename CStruct, bool repeatable, typename... Args>
class CallbackStructImpl<CStruct, Callback<repeatable, Args...>> {
 public:
  using Cb = Callback<repeatable, Args...>;
  using InvokeFunction = void (*)(void*, typename AbiWrapper<Args>::CType...);

  static CStruct* New(Cb callback, int version) {
    // The named callbacks promise their receiver a callable; the generic
    // one may carry an empty callback, whose Invoke does nothing.
    if constexpr (!kIsGenericCallback<CStruct>)
      VANTOR_API_ASSERT(callback);
    return &(new CallbackStructImpl(std::move(callback), version))->c_api_;
  }

 private:
  CallbackStructImpl(Cb callback, int version)
      : callback_(std::move(callback)) {
    memset(&c_api_, 0, sizeof(c_api_));
    InitDescriptor(&c_api_.descriptor, version);
    c_api_.Destroy = &Destroy;
    if constexpr (kIsGenericCallback<CStruct>)
      c_api_.Invoke = reinterpret_cast<C_API_CallbackInvoke>(&Invoke);
    else
      c_api_.Invoke = &Invoke;  // The named structure's slot type must match.
  }

  static void Destroy(void* self) {
    delete static_cast<CallbackStructImpl*>(self);
  }

  static void Invoke(void* self, typename AbiWrapper<Args>::CType... args) {
    GuardSlot(__PRETTY_FUNCTION__, [&] {
      static_cast<CallbackStructImpl*>(self)->callback_(
          AbiWrapper<Args>::FromC(args)...);
    });
  }

  CStruct c_api_;  // First: the peer's pointer is this object's address.
  Cb callback_;
};

template <typename Cb>
using C_API_CallbackImpl = CallbackStructImpl<C_API_Callback, Cb>;

// Runs a peer's callback structure from a Callback.
template <typename CStruct, typename Cb>
struct PeerCallback;

template <typename CStruct, bool repeatable, typename... Args>
struct PeerCallback<CStruct, Callback<repeatable, Args...>> {
  using InvokeFunction = void (*)(void*, typename AbiWrapper<Args>::CType...);

  static void InvokeInC(void* data, Args... args) {
    CStruct* c = static_cast<CStruct*>(data);
    int version = 0;
    if constexpr ((NeedsVersion<Args>::value || ...))
      version = GetImplApiVersion(c);
    InvokeFunction invoke;
    if constexpr (kIsGenericCallback<CStruct>)
      invoke = reinterpret_cast<InvokeFunction>(c->Invoke);
    else
      invoke = c->Invoke;
    invoke(c, ToCValue<Args>(args, version)...);
    (void)version;
  }

  static Callback<repeatable, Args...> Wrap(CStruct* c) {
    if (!c) {
      // Named callback structures are never null by contract; a generic one
      // that is becomes an empty callback, so a careless peer costs nothing.
      VANTOR_API_ASSERT(kIsGenericCallback<CStruct>);
      return {};
    }
    return Callback<repeatable, Args...>(c, &InvokeInC, c->Destroy);
  }
};

// Moves |callback| into a new C_API_Callback built for |version|.
template <typename Cb>
C_API_Callback* CallbackToC(Cb callback, int version) {
  return C_API_CallbackImpl<Cb>::New(std::move(callback), version);
}

// A callback that runs |c| (Invoke) and releases it (Destroy). A null |c|
// gives an empty callback.
template <typename Cb>
Cb CallbackFromC(C_API_Callback* c) {
  return PeerCallback<C_API_Callback, Cb>::Wrap(c);
}

}  // namespace internal_api
}  // namespace assistant_client

#endif  // PREBUILT_LIB_ABI_WRAPPER_H_
