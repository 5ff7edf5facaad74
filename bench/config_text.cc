// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "bench/config_text.h"

namespace bench {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

}  // namespace

ConfigText MakeLargeConfig(size_t min_bytes) {
  ConfigText text;
  // Appends the same piece to both texts, and |extra| to the relaxed only.
  auto add = [&text](const std::string& piece, const std::string& extra = "") {
    text.relaxed += piece + extra;
    text.strict += piece;
  };
  add("{\n", "  // Generated for the configuration benchmark.\n");
  add("  \"platform_config\": {\n");
  add("    \"mic_state_path\": \"/run/vantor/mic_state\"");
  for (int i = 0; text.relaxed.size() < min_bytes; ++i) {
    const std::string n = std::to_string(i);
    add(",\n", "    // Setting " + n + ": a string, a number and a list.\n");
    add("    \"string_" + n + "\": \"value // not a comment " + n + "\",\n");
    add("    \"number_" + n + "\": " + n + ".5,\n");
    add("    \"list_" + n + "\": [1, 2, 3, " + n + "],\n");
    add("    \"object_" + n + "\": {\"enabled\": true, \"level\": " + n);
    add("", ",");  // A trailing comma before '}'.
    add("}");
  }
  add("", ",");
  add("\n  }\n");
  add("}\n");
  return text;
}

std::string StrictFromRelaxed(const std::string& relaxed) {
  std::string uncommented;
  bool in_string = false;
  for (size_t i = 0; i < relaxed.size(); ++i) {
    const char c = relaxed[i];
    if (in_string) {
      if (c == '\\' && i + 1 < relaxed.size()) {
        uncommented += c;
        uncommented += relaxed[++i];
        continue;
      }
      in_string = c != '"';
    } else if (c == '"') {
      in_string = true;
    } else if (relaxed.compare(i, 2, "//") == 0) {
      const size_t newline = relaxed.find('\n', i);
      if (newline == std::string::npos)
        break;
      i = newline - 1;  // The newline itself stays.
      continue;
    }
    uncommented += c;
  }

  std::string strict;
  in_string = false;
  for (size_t i = 0; i < uncommented.size(); ++i) {
    const char c = uncommented[i];
    if (in_string) {
      if (c == '\\' && i + 1 < uncommented.size()) {
        strict += c;
        strict += uncommented[++i];
        continue;
      }
      in_string = c != '"';
    } else if (c == '"') {
      in_string = true;
    } else if (c == ',') {
      size_t next = i + 1;
      while (next < uncommented.size() && IsSpace(uncommented[next]))
        ++next;
      if (next < uncommented.size() && uncommented[next] == '}')
        continue;
    }
    strict += c;
  }
  return strict;
}

}  // namespace bench
