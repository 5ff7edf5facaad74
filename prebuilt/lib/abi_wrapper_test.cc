// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The carriers and scalar conversions every bridge relies on, the structure
// sizes the host library binds to, and the failure style.
#include "prebuilt/lib/abi_wrapper.h"

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "prebuilt/lib/api_wrappers.h"
#include "testing/bridge_test_util.h"
#include "testing/death_test_style.h"

namespace assistant_client {
namespace internal_api {
namespace {

using namespace std::string_literals;
using Pair = std::pair<std::string, std::string>;

// ---- Strings ----------------------------------------------------------------

TEST(AbiStringTest, CopiesExactlySizeBytesIncludingNuls) {
  const char bytes[] = {'a', '\0', 'b', '\0', 'c'};
  EXPECT_EQ(StringFromC({bytes, 5}), "a\0b\0c"s);
  EXPECT_EQ(StringFromC({bytes, 2}), "a\0"s);
  EXPECT_EQ(StringFromC({bytes, 0}), "");
  EXPECT_EQ(StringFromC({nullptr, 0}), "");
  EXPECT_EQ(StringFromC({nullptr, 8}), "");  // A null view means nothing.

  const std::string text = "x\0y"s;
  C_API_String view = StringToC(text);
  EXPECT_EQ(view.data, text.data());
  EXPECT_EQ(view.size, 3u);
}

// A producer slot that answers through a string result, or stays silent.
void Produce(const std::string* value, C_API_StringResult result) {
  if (value)
    AssignStringResult(*value, result);
}

TEST(AbiStringTest, StringResultDeliversWholeTextOrStaysEmpty) {
  std::string out = "stale";
  const std::string value = "\0id\0"s;
  Produce(&value, StringResultFromCpp(&out));
  EXPECT_EQ(out, "\0id\0"s);

  std::string never_stored;
  Produce(nullptr, StringResultFromCpp(&never_stored));
  EXPECT_EQ(never_stored, "");

  const std::string empty;
  out = "stale";
  Produce(&empty, StringResultFromCpp(&out));
  EXPECT_EQ(out, "");
}

TEST(AbiStringTest, PairsCrossBothMembersWhole) {
  const Pair pair{"k\0ey"s, ""};
  C_API_PairOfStrings c = AbiWrapper<Pair>::ToC(pair);
  EXPECT_EQ(c.first.size, 4u);
  EXPECT_EQ(c.second.size, 0u);
  EXPECT_EQ(AbiWrapper<Pair>::FromC(c), pair);
}

// ---- Vectors ----------------------------------------------------------------

struct ElementCalls {
  std::vector<int> indexes;
};
ElementCalls* g_element_calls = nullptr;

void CountingGetElement(const void* vector, int index, void* out) {
  g_element_calls->indexes.push_back(index);
  GetVectorElement<Pair>(vector, index, out);
}

TEST(AbiVectorTest, EmptyVectorNeverAsksForAnElement) {
  ElementCalls calls;
  g_element_calls = &calls;
  const std::vector<Pair> source;
  C_API_Vector c = VectorToC(source);
  EXPECT_EQ(c.size, 0u);
  c.get_element = &CountingGetElement;
  EXPECT_TRUE(VectorFromC<Pair>(c).empty());
  EXPECT_TRUE(calls.indexes.empty());
  g_element_calls = nullptr;
}

TEST(AbiVectorTest, ElementsCrossInOrderAndWhole) {
  ElementCalls calls;
  g_element_calls = &calls;
  const std::vector<Pair> source{{"a", "1"}, {"", ""}, {"b\0"s, "\0"s}};
  C_API_Vector c = VectorToC(source);
  c.get_element = &CountingGetElement;
  EXPECT_EQ(VectorFromC<Pair>(c), source);
  EXPECT_EQ(calls.indexes, (std::vector<int>{0, 1, 2}));
  g_element_calls = nullptr;
}

struct ResultCalls {
  std::vector<unsigned int> reserves;
  std::vector<std::string> appended;
};

C_API_VectorResult CountingResult(ResultCalls* calls) {
  return {[](unsigned int size, void* target) {
            static_cast<ResultCalls*>(target)->reserves.push_back(size);
          },
          [](const void* element, void* target) {
            static_cast<ResultCalls*>(target)->appended.push_back(
                StringFromC(*static_cast<const C_API_String*>(element)));
          },
          calls};
}

TEST(AbiVectorTest, AssignReservesOnceThenAppendsEachElementInOrder) {
  ResultCalls empty;
  AssignVectorResult(std::vector<std::string>(), CountingResult(&empty));
  EXPECT_EQ(empty.reserves, (std::vector<unsigned int>{0}));
  EXPECT_TRUE(empty.appended.empty());

  ResultCalls three;
  const std::vector<std::string> source{"x", "", "y\0z"s};
  AssignVectorResult(source, CountingResult(&three));
  EXPECT_EQ(three.reserves, (std::vector<unsigned int>{3}));
  EXPECT_EQ(three.appended, source);
}

TEST(AbiVectorTest, VectorResultRoundTripAndReserveHintIsCapped) {
  std::vector<OutputStreamEncoding> out;
  AssignVectorResult(
      std::vector<OutputStreamEncoding>{OutputStreamEncoding::kOpus,
                                        OutputStreamEncoding::kPcm},
      VectorResultFromCpp(&out));
  EXPECT_EQ(out, (std::vector<OutputStreamEncoding>{
                     OutputStreamEncoding::kOpus, OutputStreamEncoding::kPcm}));

  std::vector<int> huge;
  ReserveVectorSize<int>(0x40000000u, &huge);  // A bogus peer count.
  EXPECT_LE(huge.capacity(), 1024u);
  std::vector<int> small;
  ReserveVectorSize<int>(3, &small);
  EXPECT_GE(small.capacity(), 3u);
}

// ---- Scalars ----------------------------------------------------------------

TEST(AbiScalarTest, TruthValuesAndEnumerations) {
  EXPECT_EQ(AbiWrapper<bool>::ToC(true), 1);
  EXPECT_EQ(AbiWrapper<bool>::ToC(false), 0);
  EXPECT_TRUE(AbiWrapper<bool>::FromC(2));
  EXPECT_TRUE(AbiWrapper<bool>::FromC(-1));
  EXPECT_FALSE(AbiWrapper<bool>::FromC(0));
  EXPECT_EQ(AbiWrapper<MdnsResponder::Result>::ToC(MdnsResponder::SUCCESS), 2);
  EXPECT_EQ(AbiWrapper<OutputStreamType>::FromC(3), OutputStreamType::kMedia);
}

TEST(AbiScalarTest, VolumesPackToHundredthsTruncatingTowardZero) {
  EXPECT_EQ(PackVolume(0.5f), 50);
  EXPECT_EQ(PackVolume(0.999f), 99);
  EXPECT_EQ(PackVolume(1.0f), 100);
  EXPECT_EQ(PackVolume(0.0f), 0);
  EXPECT_EQ(PackVolume(-0.5f), -50);
  EXPECT_EQ(PackVolume(-0.999f), -99);
  // Out of range saturates instead of being undefined.
  EXPECT_EQ(PackVolume(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(PackVolume(1e30f), std::numeric_limits<int>::max());
  EXPECT_EQ(PackVolume(-std::numeric_limits<float>::infinity()),
            std::numeric_limits<int>::min());
  EXPECT_FLOAT_EQ(UnpackVolume(50), 0.5f);
  EXPECT_FLOAT_EQ(UnpackVolume(-25), -0.25f);
  EXPECT_FLOAT_EQ(UnpackVolume(PackVolume(0.5f)), 0.5f);
  EXPECT_FLOAT_EQ(AbiWrapper<float>::FromC(AbiWrapper<float>::ToC(0.999f)),
                  0.99f);
}

// ---- Descriptor -------------------------------------------------------------

TEST(AbiDescriptorTest, WordsAreMagicZeroVersionZero) {
  C_API_Descriptor descriptor;
  memset(&descriptor, 0xff, sizeof(descriptor));
  InitDescriptor(&descriptor, 9);
  EXPECT_EQ(descriptor.magic, 0x1ab11ab1u);
  EXPECT_EQ(descriptor.impl_api_version, 0);
  EXPECT_EQ(descriptor.peer_api_version, 9);
  EXPECT_EQ(descriptor.reserved, 0);
  EXPECT_EQ(GetDescriptor(&descriptor), &descriptor);

  // Built by a peer: its own implementation version is read back.
  C_API_Descriptor peer = {C_API_DESCRIPTOR_MAGIC, 7, 0, 0};
  EXPECT_EQ(GetImplApiVersion(&peer), 7);
}

TEST(AbiDescriptorTest, StructuresBuiltByTheBridgeCarryTheirVersions) {
  testing_util::InertFileProvider provider;
  C_API_FileProvider* c = FileProviderToC(&provider, false, 12);
  EXPECT_EQ(GetImplApiVersion(c), 0);
  EXPECT_EQ(c->descriptor.peer_api_version, 12);
  EXPECT_EQ(c->descriptor.reserved, 0);
  c->Destroy(c);
}

// ---- Structure sizes --------------------------------------------------------

struct SizeCase {
  const char* name;
  int (*size)();
  int size_on_32_bit;  // The host library's layout on the device.
};

TEST(AbiSizeTest, EveryStructureHasTheDeviceLayout) {
  const SizeCase cases[] = {
      {"VantorEntrypoint", &GetVantorEntrypointStructSizeForTest, 32},
      {"AssistantManager", &GetAssistantManagerStructSizeForTest, 96},
      {"PlatformFactory", &GetPlatformFactoryStructSizeForTest, 44},
      {"DeviceActionHandler", &GetDeviceActionHandlerStructSizeForTest, 28},
      {"DeviceStateListener", &GetDeviceStateListenerStructSizeForTest, 68},
      {"ConversationStateListener",
       &GetConversationStateListenerStructSizeForTest, 40},
      {"PlatformApi", &GetPlatformApiStructSizeForTest, 44},
      {"FileProvider", &GetFileProviderStructSizeForTest, 44},
      {"NetworkProvider", &GetNetworkProviderStructSizeForTest, 28},
      {"MdnsResponder", &GetMdnsResponderStructSizeForTest, 32},
      {"MdnsResponderResultCallback",
       &GetMdnsResponderResultCallbackStructSizeForTest, 24},
      {"SystemProvider", &GetSystemProviderStructSizeForTest, 44},
      {"PowerManagerProvider", &GetPowerManagerProviderStructSizeForTest, 36},
      {"AuthProvider", &GetAuthProviderStructSizeForTest, 52},
      {"AuthProviderCredentialCallback",
       &GetAuthProviderCredentialCallbackStructSizeForTest, 24},
      {"AuthProviderAssertionCallback",
       &GetAuthProviderAssertionCallbackStructSizeForTest, 24},
      {"AudioBuffer", &GetAudioBufferStructSizeForTest, 36},
      {"AudioInput", &GetAudioInputStructSizeForTest, 28},
      {"AudioInputObserver", &GetAudioInputObserverStructSizeForTest, 28},
      {"AudioInputProvider", &GetAudioInputProviderStructSizeForTest, 28},
      {"AudioOutput", &GetAudioOutputStructSizeForTest, 32},
      {"AudioOutputDelegate", &GetAudioOutputDelegateStructSizeForTest, 32},
      {"AudioOutputProvider", &GetAudioOutputProviderStructSizeForTest, 44},
      {"VolumeControl", &GetVolumeControlStructSizeForTest, 44},
      {"MediaManager", &GetMediaManagerStructSizeForTest, 40},
      {"MediaManagerListener", &GetMediaManagerListenerStructSizeForTest, 24},
      {"MediaStatus", &GetMediaStatusStructSizeForTest, 36},
      {"MediaMetadata", &GetMediaMetadataStructSizeForTest, 40},
      {"DebugInterface", &GetDebugInterfaceStructSizeForTest, 24},
      {"DebugHttpContext", &GetDebugHttpContextStructSizeForTest, 72},
      {"DebugInterfaceHandlerCallback",
       &GetDebugInterfaceHandlerCallbackStructSizeForTest, 24},
      {"Callback", &GetCallbackStructSizeForTest, 24},
  };
  EXPECT_EQ(std::size(cases), 32u);
  for (const SizeCase& c : cases) {
    // 16 bytes of descriptor, then one pointer-sized word per slot.
    const int slots = (c.size_on_32_bit - 16) / 4;
    const int expected = sizeof(void*) == 4
                             ? c.size_on_32_bit
                             : 16 + slots * static_cast<int>(sizeof(void*));
    EXPECT_EQ(c.size(), expected) << c.name;
  }
}

// ---- Failure style ----------------------------------------------------------

class AbiDeathTest : public ::testing::Test {
 protected:
  AbiDeathTest() { testing_support::UseFreshDeathTestProcesses(); }
};

TEST_F(AbiDeathTest, MisTaggedOrNullStructureAborts) {
  C_API_Descriptor wrong = {0x1ab11ab0u, 0, 0, 0};
  EXPECT_BRIDGE_DEATH(GetImplApiVersion(&wrong));
  EXPECT_BRIDGE_DEATH(GetDescriptor(&wrong));
  EXPECT_BRIDGE_DEATH(GetDescriptor(nullptr));
}

TEST_F(AbiDeathTest, NullStructureToFromCAborts) {
  EXPECT_BRIDGE_DEATH(FileProviderFromC(nullptr));
  EXPECT_BRIDGE_DEATH(AssistantManagerFromC(nullptr));
  EXPECT_BRIDGE_DEATH(AudioBufferFromC(nullptr, false));
  EXPECT_BRIDGE_DEATH(MdnsResponderResultCallbackFromC(nullptr));
  EXPECT_BRIDGE_DEATH(AuthProviderAssertionCallbackFromC(nullptr));
  EXPECT_BRIDGE_DEATH(DebugInterfaceHandlerCallbackFromC(nullptr));
}

TEST_F(AbiDeathTest, NullObjectToToCAborts) {
  EXPECT_BRIDGE_DEATH(NetworkProviderToC(nullptr, true, 0));
  EXPECT_BRIDGE_DEATH(DeviceStateListenerToC(nullptr, 0));
  EXPECT_BRIDGE_DEATH(PlatformApiToC(nullptr, 0));
  EXPECT_BRIDGE_DEATH(CreatePlatformEntrypoint(0, nullptr));
}

TEST_F(AbiDeathTest, EmptyCallbackToANamedCallbackStructureAborts) {
  EXPECT_BRIDGE_DEATH(
      MdnsResponderResultCallbackToC(MdnsResponder::ResultCallback(), 0));
  EXPECT_BRIDGE_DEATH(
      AuthProviderCredentialCallbackToC(AuthProvider::CredentialCallback(), 0));
  EXPECT_BRIDGE_DEATH(
      DebugInterfaceHandlerCallbackToC(DebugInterface::HandlerCallback(), 0));
}

TEST_F(AbiDeathTest, NullResultTargetAborts) {
  EXPECT_BRIDGE_DEATH(StringResultFromCpp(nullptr));
  EXPECT_BRIDGE_DEATH(VectorResultFromCpp<std::string>(nullptr));
}

}  // namespace
}  // namespace internal_api
}  // namespace assistant_client
