// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Prints the table of every figure against its baseline from the JSON files
// that the benchmark binaries wrote (--benchmark_out=FILE).
//
//   bench_summary build-bench/results/*.json
#include <stdio.h>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "bench/summary.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s RESULT.json...\n", argv[0]);
    return 2;
  }
  bench::Runs runs;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i]);
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    if (!file || !bench::ReadBenchmarkJson(text.str(), &runs, &error)) {
      // A binary that crashed leaves an empty or partial file; its rows then
      // read "not run", and the run as a whole has failed.
      fprintf(stderr, "%s: %s\n", argv[i],
              file ? error.c_str() : "cannot be read");
      status = 1;
    }
  }
  std::cout << bench::FormatTable(bench::AllRows(), runs);
  return status;
}
