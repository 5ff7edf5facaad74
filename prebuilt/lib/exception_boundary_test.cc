// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Exceptions thrown by an implementation stop at the C boundary: the caller
// gets a value-initialized answer, the process lives, and standard error
// names the slot. Covers each kind of slot: generated, generated with a
// result parameter, cached, hand-written, callback and entry-style.
#include <stdexcept>
#include <string>

#include "gtest/gtest.h"
#include "prebuilt/lib/abi_wrapper.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/bridge_test_util.h"

namespace assistant_client {
namespace {

using namespace internal_api;
using namespace testing_util;

// Throws from every operation while |fail| holds.
class ThrowingNetworkProvider : public NetworkProvider {
 public:
  ConnectionStatus GetConnectionStatus() override {
    if (fail)
      throw std::runtime_error("status file vanished");
    return CONNECTED;
  }
  MdnsResponder* GetMdnsResponder() override { throw 42; }
  bool fail = true;
};

class ThrowingFileProvider : public InertFileProvider {
 public:
  std::string ReadFile(const std::string&) override { throw std::bad_alloc(); }
  bool GetResource(uint16_t, std::string*) override {
    throw std::logic_error("no resources");
  }
};

// Throws from GetReferenceInput the first time only.
class FlakyOutputProvider : public InertAudioOutputProvider {
 public:
  AudioInput* GetReferenceInput() override {
    if (calls++ == 0)
      throw std::runtime_error("mixer not ready");
    return nullptr;
  }
  int calls = 0;
};

TEST(ExceptionBoundaryTest, SlotsAnswerDefaultsAndNameThemselves) {
  ThrowingNetworkProvider network;
  C_API_NetworkProvider* c = NetworkProviderToC(&network, false, 0);

  testing::internal::CaptureStderr();
  EXPECT_EQ(c->GetConnectionStatus(c), NetworkProvider::UNKNOWN);
  EXPECT_EQ(c->GetMdnsResponder(c), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("[ERROR:api_wrappers.cc("), std::string::npos) << err;
  EXPECT_NE(err.find("GetConnectionStatus"), std::string::npos) << err;
  EXPECT_NE(err.find("threw status file vanished"), std::string::npos) << err;
  EXPECT_NE(err.find("threw an exception that is not a std::exception"),
            std::string::npos)
      << err;

  // The slot keeps working once the implementation recovers.
  network.fail = false;
  EXPECT_EQ(c->GetConnectionStatus(c), NetworkProvider::CONNECTED);
  DestroyNetworkProviderInC(c);
}

TEST(ExceptionBoundaryTest, ResultParametersStayUntouchedAcrossBothHalves) {
  ThrowingFileProvider provider;
  std::unique_ptr<FileProvider> file(
      FileProviderFromC(FileProviderToC(&provider, false, 0)));
  testing::internal::CaptureStderr();
  EXPECT_EQ(file->ReadFile("x"), "");
  std::string resource = "before";
  EXPECT_FALSE(file->GetResource(7, &resource));
  EXPECT_EQ(resource, "before");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("std::bad_alloc"), std::string::npos) << err;
  EXPECT_NE(err.find("no resources"), std::string::npos) << err;
}

TEST(ExceptionBoundaryTest, CachedSlotRetriesAfterAThrow) {
  FlakyOutputProvider provider;
  C_API_AudioOutputProvider* c = AudioOutputProviderToC(&provider, false, 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c->GetReferenceInput(c), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("mixer not ready"), std::string::npos) << err;
  // Nothing was cached by the failed call, and its lock was released.
  c->GetReferenceInput(c);
  c->GetReferenceInput(c);
  EXPECT_EQ(provider.calls, 2);
  c->Destroy(c);
}

TEST(ExceptionBoundaryTest, CallbackInvokeSwallowsAndStillReleases) {
  CallCounts counts;
  MdnsResponder::ResultCallback throwing(
      [probe = Probe(&counts)](MdnsResponder::Result, std::string) {
        throw std::runtime_error("listener gone");
      });
  MdnsResponder::ResultCallback back = MdnsResponderResultCallbackFromC(
      MdnsResponderResultCallbackToC(std::move(throwing), 0));
  testing::internal::CaptureStderr();
  std::move(back)(MdnsResponder::SUCCESS, "");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("listener gone"), std::string::npos) << err;
  EXPECT_EQ(counts.releases.load(), 1);
}

TEST(ExceptionBoundaryTest, GuardSlotPassesValuesThrough) {
  EXPECT_EQ(GuardSlot("answer", [] { return 7; }), 7);
  int touched = 0;
  GuardSlot("void", [&] { touched = 1; });
  EXPECT_EQ(touched, 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(GuardSlot("entry", []() -> int* { throw std::bad_alloc(); }),
            nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("entry threw"),
            std::string::npos);
}

}  // namespace
}  // namespace assistant_client
