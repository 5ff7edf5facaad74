// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Retries a system call that a signal interrupted.
//
//   ssize_t n = HANDLE_EINTR(read(fd, buffer, size));
//
// For calls that report failure as -1 with errno. Not for close(): Linux
// releases the descriptor even when close() reports EINTR, so a retry could
// close a descriptor another thread has just been given.
#ifndef CORE_EINTR_WRAPPER_H_
#define CORE_EINTR_WRAPPER_H_

#include <errno.h>

#define HANDLE_EINTR(x)                                     \
  ({                                                        \
    decltype(x) eintr_wrapper_result;                       \
    do {                                                    \
      eintr_wrapper_result = (x);                           \
    } while (eintr_wrapper_result == -1 && errno == EINTR); \
    eintr_wrapper_result;                                   \
  })

#endif  // CORE_EINTR_WRAPPER_H_
