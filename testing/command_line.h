// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The command line a test runs a program of the build with: under a cross
// build's emulator when there is one (CMake passes it as one string).
//
//   std::vector<std::string> argv =
//       testing_support::CommandLine(ASSISTANT_SAMPLE_EMULATOR,
//                                    ASSISTANT_SAMPLE_PATH);
#ifndef TESTING_COMMAND_LINE_H_
#define TESTING_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace testing_support {

// The words of |emulator| (split at spaces, none empty), then |program|.
inline std::vector<std::string> CommandLine(const std::string& emulator,
                                            const std::string& program) {
  std::vector<std::string> words;
  std::string word;
  for (char c : emulator + " ") {
    if (c != ' ') {
      word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  words.push_back(program);
  return words;
}

}  // namespace testing_support

#endif  // TESTING_COMMAND_LINE_H_
