// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Configuration texts for the configuration benchmark, each with the same
// document written the strict way, so that a plain JSON parse of the strict
// text is the baseline of the accessor's parse of the relaxed one.
#ifndef BENCH_CONFIG_TEXT_H_
#define BENCH_CONFIG_TEXT_H_

#include <stddef.h>

#include <string>

namespace bench {

struct ConfigText {
  std::string relaxed;  // With "//" comments and trailing commas before '}'.
  std::string strict;   // The same document without them.
};

// A "platform_config" section of at least |min_bytes| of relaxed text:
// strings, numbers, arrays and nested objects, each key with a comment.
ConfigText MakeLargeConfig(size_t min_bytes);

// Removes what the accessor tolerates beyond JSON: "//" comments outside
// strings and commas whose next non-space character is '}'.
std::string StrictFromRelaxed(const std::string& relaxed);

}  // namespace bench

#endif  // BENCH_CONFIG_TEXT_H_
