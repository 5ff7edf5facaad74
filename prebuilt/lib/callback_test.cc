// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The callback rules, in process and across the C ABI.
#include "prebuilt/lib/callback.h"

#include <string>
#include <utility>

#include "gtest/gtest.h"
#include "prebuilt/lib/abi_wrapper.h"
#include "testing/bridge_test_util.h"

namespace assistant_client {
namespace {

using internal_api::CallbackFromC;
using internal_api::CallbackToC;
using testing_util::CallCounts;
using testing_util::Probe;
using namespace std::string_literals;

TEST(CallbackTest, OneShotRunsOnceAndReleasesRightAfterTheRun) {
  CallCounts counts;
  int last = 0;
  {
    Callback<false, int> callback(
        [&last, probe = Probe(&counts)](int value) mutable {
          last = value;
          probe();
        });
    ASSERT_TRUE(callback);
    callback(1);
    EXPECT_EQ(counts.runs, 1);
    EXPECT_EQ(counts.releases, 1);
    EXPECT_FALSE(callback);
    callback(2);
  }
  EXPECT_EQ(last, 1);
  EXPECT_EQ(counts.runs, 1);
  EXPECT_EQ(counts.releases, 1);
}

TEST(CallbackTest, RepeatableRunsEveryTimeAndReleasesWhenDestroyed) {
  CallCounts counts;
  {
    Callback<true> callback{Probe(&counts)};
    callback();
    callback();
    callback();
    EXPECT_EQ(counts.runs, 3);
    EXPECT_EQ(counts.releases, 0);
    EXPECT_TRUE(callback);
  }
  EXPECT_EQ(counts.releases, 1);
}

TEST(CallbackTest, DestroyedWithoutRunningReleasesOnce) {
  CallCounts counts;
  { Callback<false, bool> callback{Probe(&counts)}; }
  EXPECT_EQ(counts.runs, 0);
  EXPECT_EQ(counts.releases, 1);
}

TEST(CallbackTest, RawPointersAreReleasedThroughDestroy) {
  static int released = 0;
  released = 0;
  int data = 0;
  {
    Callback<false> callback(
        &data, [](void* d) { ++*static_cast<int*>(d); },
        [](void* d) {
          ++released;
          EXPECT_EQ(*static_cast<int*>(d), 1);
        });
    callback();
    callback();
  }
  EXPECT_EQ(data, 1);
  EXPECT_EQ(released, 1);
}

TEST(CallbackTest, MovedFromIsEmptyAndTheTargetRuns) {
  CallCounts counts;
  Callback<true, int> source{Probe(&counts)};
  Callback<true, int> moved(std::move(source));
  EXPECT_FALSE(source);  // NOLINT(bugprone-use-after-move): the point.
  source(1);
  EXPECT_EQ(counts.runs, 0);

  Callback<true, int> assigned;
  assigned = std::move(moved);
  EXPECT_FALSE(moved);  // NOLINT(bugprone-use-after-move)
  moved(2);
  assigned(3);
  EXPECT_EQ(counts.runs, 1);
  EXPECT_EQ(counts.releases, 0);
}

TEST(CallbackTest, MoveAssignmentReleasesTheOldCallable) {
  CallCounts old_counts;
  CallCounts new_counts;
  Callback<false> target{Probe(&old_counts)};
  Callback<false> source{Probe(&new_counts)};
  target = std::move(source);
  EXPECT_EQ(old_counts.releases, 1);
  EXPECT_EQ(old_counts.runs, 0);
  EXPECT_EQ(new_counts.releases, 0);
  target();
  EXPECT_EQ(new_counts.runs, 1);
  EXPECT_EQ(new_counts.releases, 1);
}

TEST(CallbackTest, OneShotRunFromInsideItsOwnRunDoesNothing) {
  Callback<false> callback;
  int runs = 0;
  bool empty_inside = false;
  callback = Callback<false>([&] {
    ++runs;
    empty_inside = !callback;
    callback();  // Re-entrant: must find the callback already spent.
  });
  callback();
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(empty_inside);
}

// ---- Across the ABI ---------------------------------------------------------

TEST(CallbackAbiTest, StructureCarriesTheVersionItWasBuiltFor) {
  C_API_Callback* c = CallbackToC(Callback<false>([] {}), 7);
  EXPECT_EQ(c->descriptor.magic, 0x1ab11ab1u);
  EXPECT_EQ(c->descriptor.impl_api_version, 0);
  EXPECT_EQ(c->descriptor.peer_api_version, 7);
  EXPECT_EQ(c->descriptor.reserved, 0);
  c->Destroy(c);
}

TEST(CallbackAbiTest, OneShotRoundTripRunsOnceWithFullArgumentsAndReleases) {
  CallCounts counts;
  std::string received;
  Callback<false, std::string> inner(
      [&received, probe = Probe(&counts)](std::string text) mutable {
        received = text;
        probe();
      });
  auto outer = CallbackFromC<Callback<false, std::string>>(
      CallbackToC(std::move(inner), 0));
  outer("a\0b\0"s);
  EXPECT_EQ(received, "a\0b\0"s);
  EXPECT_EQ(counts.runs, 1);
  EXPECT_EQ(counts.releases, 1);
  outer("again"s);
  EXPECT_EQ(counts.runs, 1);
  EXPECT_EQ(received, "a\0b\0"s);
}

TEST(CallbackAbiTest, OneShotDroppedUnrunReleasesThePeersDataOnce) {
  CallCounts counts;
  {
    auto outer = CallbackFromC<Callback<false, bool>>(
        CallbackToC(Callback<false, bool>(Probe(&counts)), 0));
  }
  EXPECT_EQ(counts.runs, 0);
  EXPECT_EQ(counts.releases, 1);
}

TEST(CallbackAbiTest, RepeatableRoundTripRunsEachTimeAndReleasesOnDestroy) {
  CallCounts counts;
  {
    auto outer = CallbackFromC<Callback<true, bool>>(
        CallbackToC(Callback<true, bool>(Probe(&counts)), 0));
    outer(true);
    outer(false);
    outer(true);
    EXPECT_EQ(counts.runs, 3);
    EXPECT_EQ(counts.releases, 0);
  }
  EXPECT_EQ(counts.releases, 1);
}

// A peer's hand-written callback structure: counts what the bridge calls.
struct PeerCallbackStruct {
  C_API_Callback c;
  int invokes = 0;
  int destroys = 0;
  std::vector<bool> values;

  PeerCallbackStruct() {
    c.descriptor = {C_API_DESCRIPTOR_MAGIC, 3, 0, 0};
    c.Destroy = [](void* self) {
      ++static_cast<PeerCallbackStruct*>(self)->destroys;
    };
    c.Invoke = reinterpret_cast<C_API_CallbackInvoke>(
        static_cast<void (*)(void*, int)>([](void* self, int value) {
          auto* me = static_cast<PeerCallbackStruct*>(self);
          ++me->invokes;
          me->values.push_back(value != 0);
        }));
  }
};

TEST(CallbackAbiTest, ReceiverOfARepeatableInvokesEachRunAndDestroysOnce) {
  PeerCallbackStruct peer;
  {
    auto callback = CallbackFromC<Callback<true, bool>>(&peer.c);
    callback(true);
    callback(false);
    callback(true);
    EXPECT_EQ(peer.destroys, 0);
  }
  EXPECT_EQ(peer.invokes, 3);
  EXPECT_EQ(peer.destroys, 1);
  EXPECT_EQ(peer.values, (std::vector<bool>{true, false, true}));
}

TEST(CallbackAbiTest, ReceiverOfAOneShotInvokesAtMostOnceAndDestroysOnce) {
  PeerCallbackStruct run;
  {
    auto callback = CallbackFromC<Callback<false, bool>>(&run.c);
    callback(true);
    callback(true);
  }
  EXPECT_EQ(run.invokes, 1);
  EXPECT_EQ(run.destroys, 1);

  PeerCallbackStruct dropped;
  { auto callback = CallbackFromC<Callback<false, bool>>(&dropped.c); }
  EXPECT_EQ(dropped.invokes, 0);
  EXPECT_EQ(dropped.destroys, 1);
}

TEST(CallbackAbiTest, BuiltStructureInvokedByHandRunsOneShotOnce) {
  CallCounts counts;
  C_API_Callback* c = CallbackToC(Callback<false, int>(Probe(&counts)), 0);
  auto invoke = reinterpret_cast<void (*)(void*, int)>(c->Invoke);
  invoke(c, 4);
  invoke(c, 5);  // A careless peer: the spent callback ignores it.
  EXPECT_EQ(counts.runs, 1);
  EXPECT_EQ(counts.releases, 1);
  c->Destroy(c);
  EXPECT_EQ(counts.releases, 1);
}

TEST(CallbackAbiTest, EmptyCallbackCrossesAndInvokingItDoesNothing) {
  C_API_Callback* c = CallbackToC(Callback<false, bool>(), 0);
  ASSERT_NE(c, nullptr);
  reinterpret_cast<void (*)(void*, int)>(c->Invoke)(c, 1);
  c->Destroy(c);
}

TEST(CallbackAbiTest, NullGenericStructureGivesAnEmptyCallback) {
  auto callback = CallbackFromC<Callback<false, bool>>(nullptr);
  EXPECT_FALSE(callback);
  callback(true);
}

}  // namespace
}  // namespace assistant_client
