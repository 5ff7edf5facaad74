// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Writes arbitrary bytes to a file and reads it back with ReadFile and
// ktl_ReadFile, trimmed and untrimmed, against a plain reference: the whole
// text byte for byte, and the lines that do not start with '#' joined.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "core/logging.h"
#include "fuzz/fuzz_support.h"
#include "platform/utils/file_utils.h"

namespace {

using fuzz_support::Trim;

using fuzz_support::Expect;

using assistant_reference::ktl_ReadFile;
using assistant_reference::ReadFile;

std::string KeptLines(const std::string& text) {
  std::string kept;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    if (end == start || text[start] != '#')
      kept.append(text, start, end - start);
    start = end + 1;
  }
  return kept;
}

std::string* path = nullptr;

void RemoveFile() {
  unlink(path->c_str());
}

void SetUp() {
  const char* tmp = getenv("TMPDIR");
  std::string name =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/ktl_read_file_fuzzer.XXXXXX";
  const int fd = mkstemp(&name[0]);
  CHECK(fd >= 0) << "mkstemp " << name;
  close(fd);
  path = new std::string(name);
  atexit(&RemoveFile);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!path)
    SetUp();
  const std::string text(reinterpret_cast<const char*>(data), size);
  // In place rather than through WriteFile, which deletes on empty text.
  FILE* file = fopen(path->c_str(), "wb");
  Expect(file != nullptr);
  Expect(fwrite(text.data(), 1, text.size(), file) == text.size());
  Expect(fclose(file) == 0);

  Expect(ReadFile(*path, false) == text);
  Expect(ReadFile(*path, true) == Trim(text));

  const std::string kept = KeptLines(text);
  const std::string raw = ktl_ReadFile(*path, false);
  Expect(raw == kept);
  Expect(raw.find('\n') == std::string::npos);
  Expect(ktl_ReadFile(*path, true) == Trim(kept));
  return 0;
}
