// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The bridge's shared pieces: descriptor, lock, strings, volumes, failures.
#include "prebuilt/lib/api_wrappers.h"

// __assert_fail is declared only when assertions are on.
#undef NDEBUG
#include <assert.h>

#include <stdio.h>

#include <exception>
#include <limits>

#include "prebuilt/lib/abi_wrapper.h"

namespace assistant_client {
namespace internal_api {

void AssertionFailed(int line, const char* function) {
  // Every deliverable carries the same bridge, so failures name its one
  // source rather than the file that happened to detect them.
  __assert_fail("false", "prebuilt/lib/api_wrappers",
                static_cast<unsigned int>(line), function);
}

void ReportEscapedException(const char* slot) noexcept {
  const char* what = "an exception that is not a std::exception";
  try {
    throw;
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  // One write, so that lines of two threads do not interleave.
  fprintf(stderr,
          "[ERROR:api_wrappers.cc(%d)] %s threw %s; answered with a default "
          "value\n",
          __LINE__, slot, what);
}

void InitDescriptor(C_API_Descriptor* descriptor, int version) {
  descriptor->magic = C_API_DESCRIPTOR_MAGIC;
  descriptor->impl_api_version = kApiVersion;
  descriptor->peer_api_version = version;
  descriptor->reserved = 0;
}

C_API_Descriptor* GetDescriptor(void* s) {
  VANTOR_API_ASSERT(s);
  auto* descriptor = static_cast<C_API_Descriptor*>(s);
  VANTOR_API_ASSERT(descriptor->magic == C_API_DESCRIPTOR_MAGIC);
  return descriptor;
}

int GetImplApiVersion(void* s) {
  return GetDescriptor(s)->impl_api_version;
}

Lock::Lock() {
  VANTOR_API_ASSERT(pthread_mutex_init(&mutex_, nullptr) == 0);
}

Lock::~Lock() {
  VANTOR_API_ASSERT(pthread_mutex_destroy(&mutex_) == 0);
}

void Lock::Acquire() {
  VANTOR_API_ASSERT(pthread_mutex_lock(&mutex_) == 0);
}

void Lock::Release() {
  VANTOR_API_ASSERT(pthread_mutex_unlock(&mutex_) == 0);
}

C_API_StringResult StringResultFromCpp(std::string* out) {
  VANTOR_API_ASSERT(out);
  return {&StoreCStringInCpp, out};
}

void StoreCStringInCpp(C_API_String value, void* target) {
  // In place: no temporary string between the peer's bytes and the target.
  auto* out = static_cast<std::string*>(target);
  if (value.data)
    out->assign(value.data, value.size);
  else
    out->clear();
}

int PackVolume(float volume) {
  // Truncates toward zero. A NaN or out-of-range volume from a careless
  // caller would make the conversion undefined: it saturates instead.
  const float packed = volume * 100.0f;
  if (!(packed == packed))
    return 0;
  constexpr float kTwoPow31 = 2147483648.0f;  // Exact in a float.
  if (packed >= kTwoPow31)
    return std::numeric_limits<int>::max();
  if (packed < -kTwoPow31)
    return std::numeric_limits<int>::min();
  return static_cast<int>(packed);
}

float UnpackVolume(int volume) {
  return static_cast<float>(volume) / 100.0f;
}

#define VANTOR_DEFINE_STRUCT_SIZE(Name, slots)                          \
  static_assert(sizeof(C_API_##Name) ==                                 \
                    sizeof(C_API_Descriptor) + (slots) * sizeof(void*), \
                "C_API_" #Name " layout");                              \
  int Get##Name##StructSizeForTest() {                                  \
    return static_cast<int>(sizeof(C_API_##Name));                      \
  }
VANTOR_C_API_STRUCTS(VANTOR_DEFINE_STRUCT_SIZE)
#undef VANTOR_DEFINE_STRUCT_SIZE

// The callable that crosses the ABI is exactly three pointers.
static_assert(sizeof(Callback<false>) == 3 * sizeof(void*), "Callback layout");
static_assert(sizeof(Callback<true, bool>) == 3 * sizeof(void*),
              "Callback layout");
static_assert(sizeof(MdnsResponder::ResultCallback) == 3 * sizeof(void*),
              "Callback layout");

}  // namespace internal_api
}  // namespace assistant_client
