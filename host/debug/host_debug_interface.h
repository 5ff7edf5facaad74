// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The stand-in host's debug interface: the handlers that clients register,
// served over HTTP on 127.0.0.1 when the configuration names a port.
//
//   GET  /debug/variables          every debug variable, as one JSON object
//   <method> <registered path>     the client's handler, with a context
//   unregistered path: 404; registered path, other method: 405 (with Allow);
//   a method other than GET, POST, PUT, DELETE, HEAD: 501.
//
// Handlers of one path run one at a time, on the connection's thread.
#ifndef HOST_DEBUG_HOST_DEBUG_INTERFACE_H_
#define HOST_DEBUG_HOST_DEBUG_INTERFACE_H_

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/synchronization.h"
#include "host/debug/debug_http_server.h"
#include "prebuilt/lib/debug_interface.h"

namespace vantor_host {

class HostDebugInterface : public assistant_client::DebugInterface {
 public:
  static constexpr char kVariablesPath[] = "/debug/variables";

  HostDebugInterface();
  // Stops the server first, so no handler runs during destruction.
  ~HostDebugInterface() override;

  void RegisterUriPath(
      const std::string& path,
      HandlerCallback callback,
      const std::vector<assistant_client::DebugHttpContext::Method>& methods)
      override;
  void SetDebugVariable(const std::string& name,
                        const std::string& value) override;

  // Serves on 127.0.0.1 with |options|; logs where, or why not.
  bool StartServer(const DebugHttpServer::Options& options);
  // Ends every request and waits for the handlers that run; a no-op when
  // no server runs.
  void StopServer();
  // The server's port; 0 when none runs.
  int port() const;

  // What the server does with each request; public for the tests.
  void Handle(const HttpRequest& request,
              std::shared_ptr<HttpExchange> exchange);

 private:
  struct Route {
    Route(std::vector<assistant_client::DebugHttpContext::Method> methods,
          HandlerCallback callback)
        : methods(std::move(methods)), callback(std::move(callback)) {}

    const std::vector<assistant_client::DebugHttpContext::Method> methods;
    core::Mutex calling;
    HandlerCallback callback CORE_GUARDED_BY(calling);
  };

  std::string VariablesJson() CORE_EXCLUDES(mutex_);

  core::Mutex mutex_;
  std::map<std::string, std::shared_ptr<Route>> routes_ CORE_GUARDED_BY(mutex_);
  std::map<std::string, std::string> variables_ CORE_GUARDED_BY(mutex_);
  std::unique_ptr<DebugHttpServer> server_;  // Owner's thread only.
};

}  // namespace vantor_host

#endif  // HOST_DEBUG_HOST_DEBUG_INTERFACE_H_
