// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "bench/alloc_counter.h"

#include <stdlib.h>

#include <new>

namespace bench {
namespace {

thread_local uint64_t g_allocations = 0;

void* Allocate(size_t size) {
  ++g_allocations;
  if (size == 0)
    size = 1;
  if (void* p = malloc(size))
    return p;
  throw std::bad_alloc();
}

}  // namespace

uint64_t AllocationsOnThisThread() {
  return g_allocations;
}

}  // namespace bench

// The array and nothrow forms of the library call these, so replacing the two
// plain forms counts every non-aligned allocation.
void* operator new(size_t size) {
  return bench::Allocate(size);
}

void operator delete(void* p) noexcept {
  free(p);
}

void operator delete(void* p, size_t) noexcept {
  free(p);
}
