// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// What the fuzzers share: a check that stops the run at once, and the
// reference trim their expectations are written against (kept apart from
// the code under test on purpose).
#ifndef FUZZ_FUZZ_SUPPORT_H_
#define FUZZ_FUZZ_SUPPORT_H_

#include <string>

namespace fuzz_support {

inline void Expect(bool condition) {
  if (!condition)
    __builtin_trap();
}

// |text| without the blanks that the file readers trim at either end.
inline std::string Trim(const std::string& text) {
  const char kBlanks[] = "\n\t\r\f ";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos)
    return std::string();
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace fuzz_support

#endif  // FUZZ_FUZZ_SUPPORT_H_
