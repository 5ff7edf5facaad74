// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The event log under the name and accessor the file watcher's tests know;
// new tests use EventLog.
#ifndef TESTING_CALLBACK_COLLECTOR_H_
#define TESTING_CALLBACK_COLLECTOR_H_

#include <string>
#include <vector>

#include "testing/event_log.h"

namespace testing_support {

class CallbackCollector : public EventLog {
 public:
  std::vector<std::string> runs() { return entries(); }
};

}  // namespace testing_support

#endif  // TESTING_CALLBACK_COLLECTOR_H_
