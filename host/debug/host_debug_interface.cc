// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/debug/host_debug_interface.h"

#include <microhttpd.h>
#include <stdio.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "core/logging.h"

namespace vantor_host {
namespace {

using assistant_client::DebugHttpContext;
using Method = DebugHttpContext::Method;

struct MethodName {
  Method method;
  const char* name;
};
constexpr MethodName kMethods[] = {
    {DebugHttpContext::kGet, "GET"},   {DebugHttpContext::kPost, "POST"},
    {DebugHttpContext::kPut, "PUT"},   {DebugHttpContext::kDelete, "DELETE"},
    {DebugHttpContext::kHead, "HEAD"},
};

bool ParseMethod(const std::string& name, Method* method) {
  for (const MethodName& entry : kMethods) {
    if (name == entry.name) {
      *method = entry.method;
      return true;
    }
  }
  return false;
}

const char* NameOf(Method method) {
  for (const MethodName& entry : kMethods) {
    if (method == entry.method)
      return entry.name;
  }
  return "?";
}

// |text| as a JSON string; bytes beyond ASCII pass as they are.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return s;
}

// One request as the client's handler sees it. Owned by the handler; its
// deletion ends a chunked reply (or, without any reply, answers 500).
class HostHttpContext : public DebugHttpContext {
 public:
  HostHttpContext(HttpRequest request,
                  Method method,
                  std::shared_ptr<HttpExchange> exchange)
      : request_(std::move(request)),
        method_(method),
        exchange_(std::move(exchange)) {}
  ~HostHttpContext() override { exchange_->Finish(); }

  Method GetMethod() const override { return method_; }
  std::string GetPath() const override { return request_.path; }
  std::string GetData() const override { return request_.body; }
  bool HasParam(const std::string& name) const override {
    return request_.params.count(name) != 0;
  }
  bool GetParamValue(const std::string& name,
                     std::string* value) const override {
    return Find(request_.params, name, value);
  }
  bool HasHeader(const std::string& name) const override {
    return request_.headers.count(Lower(name)) != 0;
  }
  bool GetHeaderValue(const std::string& name,
                      std::string* value) const override {
    return Find(request_.headers, Lower(name), value);
  }
  void ReplyOk(const std::string& body) override { Reply(200, body); }
  void ReplyBadRequest(const std::string& body) override { Reply(400, body); }
  void ReplyNotFound() override { Reply(404, "Not Found\n"); }
  void ReplyInternalServerError(const std::string& body) override {
    Reply(500, body);
  }
  void ReplyChunked(const std::string& body) override {
    if (!exchange_->SendChunk(body))
      Dropped("a chunk");
  }
  bool IsClosed() const override { return exchange_->IsClosed(); }

 private:
  static bool Find(const std::map<std::string, std::string>& values,
                   const std::string& name,
                   std::string* value) {
    auto it = values.find(name);
    value->clear();
    if (it == values.end())
      return false;
    *value = it->second;
    return true;
  }

  void Reply(int status, const std::string& body) {
    if (!exchange_->Reply(status, body))
      Dropped("a " + std::to_string(status) + " reply");
  }

  void Dropped(const std::string& what) {
    // A closed client is the handler's to notice (IsClosed); a second
    // answer is a bug in it.
    if (!exchange_->IsClosed()) {
      LOG(WARNING) << "Debug request " << request_.method << " "
                   << request_.path << ": " << what
                   << " after the reply began is dropped";
    }
  }

  const HttpRequest request_;
  const Method method_;
  const std::shared_ptr<HttpExchange> exchange_;
};

}  // namespace

HostDebugInterface::HostDebugInterface() = default;

HostDebugInterface::~HostDebugInterface() {
  StopServer();
}

void HostDebugInterface::StopServer() {
  server_.reset();
}

void HostDebugInterface::RegisterUriPath(const std::string& path,
                                         HandlerCallback callback,
                                         const std::vector<Method>& methods) {
  std::string names;
  for (Method method : methods)
    names += std::string(names.empty() ? "" : " ") + NameOf(method);
  if (path == kVariablesPath) {
    LOG(WARNING) << "DebugInterface::RegisterUriPath(" << path
                 << "): the host serves this path itself; ignored";
    return;
  }
  auto route = std::make_shared<Route>(methods, std::move(callback));
  std::shared_ptr<Route> replaced;
  {
    core::AutoLock lock(&mutex_);
    replaced = std::exchange(routes_[path], route);
  }
  LOG(INFO) << "DebugInterface::RegisterUriPath(" << path << ", "
            << methods.size() << " method(s))" << (names.empty() ? "" : ": ")
            << names << (replaced ? ", replacing the handler before" : "");
}

void HostDebugInterface::SetDebugVariable(const std::string& name,
                                          const std::string& value) {
  core::AutoLock lock(&mutex_);
  variables_[name] = value;
  LOG(INFO) << "DebugInterface::SetDebugVariable(" << name << ", " << value
            << ")";
}

bool HostDebugInterface::StartServer(const DebugHttpServer::Options& options) {
  auto server = std::make_unique<DebugHttpServer>(
      options, [this](const HttpRequest& request,
                      std::shared_ptr<HttpExchange> exchange) {
        Handle(request, std::move(exchange));
      });
  std::string error;
  if (!server->Start(&error)) {
    LOG(WARNING) << "Debug server: " << error << "; not serving";
    return false;
  }
  server_ = std::move(server);
  LOG(INFO) << "Debug server on http://127.0.0.1:" << server_->port()
            << "/ (variables at " << kVariablesPath << ")";
  return true;
}

int HostDebugInterface::port() const {
  return server_ ? server_->port() : 0;
}

void HostDebugInterface::Handle(const HttpRequest& request,
                                std::shared_ptr<HttpExchange> exchange) {
  Method method;
  if (!ParseMethod(request.method, &method)) {
    exchange->Reply(MHD_HTTP_NOT_IMPLEMENTED,
                    "Method " + request.method + " is not served here\n");
    return;
  }
  if (request.path == kVariablesPath) {
    if (method != DebugHttpContext::kGet && method != DebugHttpContext::kHead) {
      exchange->Reply(MHD_HTTP_METHOD_NOT_ALLOWED, "Use GET\n",
                      {{MHD_HTTP_HEADER_ALLOW, "GET, HEAD"}});
      return;
    }
    exchange->Reply(MHD_HTTP_OK, VariablesJson() + "\n",
                    {{MHD_HTTP_HEADER_CONTENT_TYPE, "application/json"}});
    return;
  }
  std::shared_ptr<Route> route;
  {
    core::AutoLock lock(&mutex_);
    auto it = routes_.find(request.path);
    if (it != routes_.end())
      route = it->second;
  }
  if (!route) {
    exchange->Reply(MHD_HTTP_NOT_FOUND,
                    "No debug handler for " + request.path + "\n");
    return;
  }
  if (std::find(route->methods.begin(), route->methods.end(), method) ==
      route->methods.end()) {
    std::string allow;
    for (Method allowed : route->methods)
      allow += std::string(allow.empty() ? "" : ", ") + NameOf(allowed);
    exchange->Reply(MHD_HTTP_METHOD_NOT_ALLOWED,
                    request.path + " does not take " + request.method + "\n",
                    {{MHD_HTTP_HEADER_ALLOW, allow}});
    return;
  }
  // The context passes to the handler, which deletes it when it is done.
  auto* context = new HostHttpContext(request, method, std::move(exchange));
  core::AutoLock calling(&route->calling);
  route->callback(context);
}

std::string HostDebugInterface::VariablesJson() {
  core::AutoLock lock(&mutex_);
  if (variables_.empty())
    return "{}";
  std::string json = "{";
  const char* separator = "\n  ";
  for (const auto& [name, value] : variables_) {
    json += separator + JsonString(name) + ": " + JsonString(value);
    separator = ",\n  ";
  }
  return json + "\n}";
}

}  // namespace vantor_host
