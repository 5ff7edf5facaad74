// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// ConfigAccessor::Parse of the bundled configuration and of a 64 KiB one,
// against nlohmann-json parsing the same document written as strict JSON:
// the difference is the accessor's own work (comment and comma removal,
// json11's rules, taking the section).
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <string>

#include "bench/config_text.h"
#include "platform/utils/config_accessor.h"
#include "platform/utils/file_utils.h"

namespace {

enum class Which { kBundled, kLarge };

const bench::ConfigText& Text(Which which) {
  static const bench::ConfigText* const kBundled = [] {
    auto* text = new bench::ConfigText();
    text->relaxed = assistant_reference::ReadFile(
        VANTOR_SOURCE_DIR "/config/default_config.json", /*trim=*/false);
    text->strict = bench::StrictFromRelaxed(text->relaxed);
    return text;
  }();
  static const bench::ConfigText* const kLarge =
      new bench::ConfigText(bench::MakeLargeConfig(64 * 1024));
  return which == Which::kBundled ? *kBundled : *kLarge;
}

void BM_Config_Accessor(benchmark::State& state, Which which) {
  const std::string& text = Text(which).relaxed;
  if (text.empty()) {
    state.SkipWithError("the bundled configuration cannot be read");
    return;
  }
  for (auto _ : state) {
    auto accessor =
        assistant_reference::ConfigAccessor::Parse(text, "platform_config");
    benchmark::DoNotOptimize(accessor.get());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(text.size()));
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK_CAPTURE(BM_Config_Accessor, bundled, Which::kBundled);
BENCHMARK_CAPTURE(BM_Config_Accessor, 64KiB, Which::kLarge);

void BM_Config_StrictParse(benchmark::State& state, Which which) {
  const std::string& text = Text(which).strict;
  for (auto _ : state) {
    nlohmann::json document = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK_CAPTURE(BM_Config_StrictParse, bundled, Which::kBundled);
BENCHMARK_CAPTURE(BM_Config_StrictParse, 64KiB, Which::kLarge);

}  // namespace
