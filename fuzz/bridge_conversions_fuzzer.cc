// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Sends arbitrary strings, pairs and vectors of them across the bridge's
// value conversions and back. Every crossing must deliver exactly the bytes
// sent (NULs included) and the elements in order, whichever way it goes: a
// view (…ToC/…FromC), a result slot (StringResult, VectorResult), or a
// peer's own vector whose getter leaves some elements untouched.
#include <fuzzer/FuzzedDataProvider.h>
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "prebuilt/lib/abi_wrapper.h"
#include "prebuilt/lib/api_wrappers.h"

namespace {

using fuzz_support::Expect;

using assistant_client::internal_api::AbiWrapper;
using assistant_client::internal_api::AssignStringResult;
using assistant_client::internal_api::AssignVectorResult;
using assistant_client::internal_api::StoreCStringInCpp;
using assistant_client::internal_api::StringFromC;
using assistant_client::internal_api::StringResultFromCpp;
using assistant_client::internal_api::StringToC;
using assistant_client::internal_api::VectorFromC;
using assistant_client::internal_api::VectorResultFromCpp;
using assistant_client::internal_api::VectorToC;
using StringPair = std::pair<std::string, std::string>;

constexpr size_t kMaxElements = 64;

void CheckString(const std::string& s) {
  const C_API_String c = StringToC(s);
  Expect(c.size == s.size());
  Expect(StringFromC(c) == s);
  Expect(AbiWrapper<std::string>::FromC(AbiWrapper<std::string>::ToC(s)) == s);

  // A result slot replaces whatever the target held.
  std::string out = "stale";
  AssignStringResult(s, StringResultFromCpp(&out));
  Expect(out == s);
  // A peer's null view is the empty string, whatever size it claims.
  StoreCStringInCpp({nullptr, c.size}, &out);
  Expect(out.empty());
  Expect(StringFromC({nullptr, c.size}).empty());
}

template <typename T>
void CheckVector(const std::vector<T>& v) {
  Expect(VectorFromC<T>(VectorToC(v)) == v);
  std::vector<T> out;
  AssignVectorResult(v, VectorResultFromCpp(&out));
  Expect(out == v);
}

// A peer's vector of pairs that fills only the elements |filled| marks; an
// element it leaves alone must arrive as a pair of empty strings.
struct PeerPairs {
  std::vector<StringPair> pairs;
  std::vector<bool> filled;
};

void GetPeerPair(const void* vector, int index, void* out_element) {
  const auto* peer = static_cast<const PeerPairs*>(vector);
  Expect(index >= 0 && static_cast<size_t>(index) < peer->pairs.size());
  if (peer->filled[index]) {
    *static_cast<C_API_PairOfStrings*>(out_element) =
        AbiWrapper<StringPair>::ToC(peer->pairs[index]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<std::string> strings;
  std::vector<StringPair> pairs;
  std::vector<int> numbers;
  PeerPairs peer;
  const size_t count = input.ConsumeIntegralInRange<size_t>(0, kMaxElements);
  for (size_t i = 0; i < count && input.remaining_bytes(); ++i) {
    const StringPair pair(input.ConsumeRandomLengthString(),
                          input.ConsumeRandomLengthString());
    CheckString(pair.first);
    Expect(AbiWrapper<StringPair>::FromC(AbiWrapper<StringPair>::ToC(pair)) ==
           pair);
    strings.push_back(pair.first);
    pairs.push_back(pair);
    numbers.push_back(input.ConsumeIntegral<int>());
    peer.pairs.push_back(pair);
    peer.filled.push_back(input.ConsumeBool());
  }
  CheckString(input.ConsumeRemainingBytesAsString());

  CheckVector(strings);
  CheckVector(pairs);
  CheckVector(numbers);

  const C_API_Vector c = {static_cast<uint32_t>(peer.pairs.size()),
                          &GetPeerPair, &peer};
  const std::vector<StringPair> received = VectorFromC<StringPair>(c);
  Expect(received.size() == peer.pairs.size());
  for (size_t i = 0; i < received.size(); ++i) {
    Expect(received[i] == (peer.filled[i] ? peer.pairs[i] : StringPair()));
  }
  return 0;
}
