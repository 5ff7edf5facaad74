// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// Handlers for paths of the assistant's debug HTTP service, and debug
// variables.
//
//   DebugInterface* debug = manager->GetDebugInterface();  // Owned by it.
//   debug->RegisterUriPath("/status",
//       [](DebugHttpContext* context) {  // Owned by the handler.
//         context->ReplyOk("fine");
//         delete context;
//       },
//       {DebugHttpContext::kGet});
//
// Implemented by the host library. Handlers run on its threads, once per
// request.
#ifndef PREBUILT_LIB_DEBUG_INTERFACE_H_
#define PREBUILT_LIB_DEBUG_INTERFACE_H_

#include <string>
#include <vector>

#include "prebuilt/lib/callback.h"

namespace assistant_client {

// One request. The handler it is given to owns it and deletes it when done;
// replying does not end it.
class DebugHttpContext {
 public:
  // Crosses between binaries as its number; a list of methods crosses as an
  // array of int, so the underlying type must stay int.
  enum Method : int {
    kGet = 0,
    kPost = 1,
    kPut = 2,
    kDelete = 3,
    kHead = 4,
  };

  DebugHttpContext() = default;
  DebugHttpContext(const DebugHttpContext&) = delete;
  DebugHttpContext& operator=(const DebugHttpContext&) = delete;
  virtual ~DebugHttpContext() = default;

  virtual Method GetMethod() const = 0;
  virtual std::string GetPath() const = 0;
  virtual std::string GetData() const = 0;
  virtual bool HasParam(const std::string& name) const = 0;
  // |value| is owned by the caller and never null.
  virtual bool GetParamValue(const std::string& name,
                             std::string* value) const = 0;
  virtual bool HasHeader(const std::string& name) const = 0;
  // |value| is owned by the caller and never null.
  virtual bool GetHeaderValue(const std::string& name,
                              std::string* value) const = 0;
  virtual void ReplyOk(const std::string& body) = 0;
  virtual void ReplyBadRequest(const std::string& body) = 0;
  virtual void ReplyNotFound() = 0;
  virtual void ReplyInternalServerError(const std::string& body) = 0;
  virtual void ReplyChunked(const std::string& body) = 0;
  // Whether the client went away.
  virtual bool IsClosed() const = 0;
};

class DebugInterface {
 public:
  // Runs once per request with a new context that it owns.
  using HandlerCallback = Callback<true, DebugHttpContext*>;

  DebugInterface() = default;
  DebugInterface(const DebugInterface&) = delete;
  DebugInterface& operator=(const DebugInterface&) = delete;

  virtual void RegisterUriPath(
      const std::string& path,
      HandlerCallback callback,
      const std::vector<DebugHttpContext::Method>& methods) = 0;
  virtual void SetDebugVariable(const std::string& name,
                                const std::string& value) = 0;

  // After the operations: the destructor's vtable slots come last here.
  virtual ~DebugInterface() = default;
};

}  // namespace assistant_client

#endif  // PREBUILT_LIB_DEBUG_INTERFACE_H_
