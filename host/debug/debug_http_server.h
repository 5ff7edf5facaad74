// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// A small HTTP/1.1 server on 127.0.0.1 for the debug interface, on
// libmicrohttpd with one thread per connection: a slow client or a slow
// handler holds only its own connection.
//
//   DebugHttpServer server(options, [](const HttpRequest& request,
//                                      std::shared_ptr<HttpExchange> reply) {
//     reply->Reply(200, "fine\n");  // now, later, or from another thread
//   });
//   if (!server.Start(&error)) ...
//
// Limits: header lines beyond |header_memory_bytes| get 431 (or 413), a
// body beyond |max_body_bytes| gets 413, a client that stops sending is cut
// off after |connection_timeout_s|, a handler that does not reply within
// |reply_timeout| gets its client a 500, and at most |max_connections| are
// served at once.
#ifndef HOST_DEBUG_DEBUG_HTTP_SERVER_H_
#define HOST_DEBUG_DEBUG_HTTP_SERVER_H_

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/synchronization.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace vantor_host {

struct HttpRequest {
  std::string method;                          // As sent: "GET".
  std::string path;                            // Without the query.
  std::map<std::string, std::string> params;   // Decoded query parameters.
  std::map<std::string, std::string> headers;  // Names in lower case.
  std::string body;
};

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// The answer to one request, shared by the connection's thread and whoever
// replies. Every member may be called on any thread, also after the
// connection has gone (the calls then do nothing).
class HttpExchange {
 public:
  // A whole response; false when a response was begun before or the client
  // has gone.
  bool Reply(int status,
             const std::string& body,
             const HttpHeaders& headers = {});
  // One chunk of a 200 response in chunked transfer encoding, begun by the
  // first call; false after a Reply() or once the client has gone.
  bool SendChunk(const std::string& body);
  // No more chunks. Without any response, the client gets a 500.
  void Finish();
  // Whether the client went away (or the server gave up on it).
  bool IsClosed();

  // ---- For the server's connection thread. ----------------------------------
  explicit HttpExchange(int fd) : fd_(fd) {}
  enum class Outcome { kReply, kChunked, kClosed, kTimeout };
  struct Response {
    int status = 0;
    std::string body;
    HttpHeaders headers;
  };
  // Waits for the first answer, watching the socket for the client leaving;
  // a whole response (kReply) is copied to |*response|.
  Outcome WaitForAnswer(std::chrono::milliseconds timeout, Response* response);
  // Copies up to |size| bytes of chunks into |out|; 0 at the end, -1 when
  // the client has gone. Blocks until there is something.
  long ReadChunks(char* out, size_t size);
  void MarkClosed();  // The connection ended, or the server stops.

 private:
  // Polls the socket; true when the client has gone.
  bool CheckPeerLocked() CORE_REQUIRES(mutex_);

  core::Mutex mutex_;
  core::CondVar changed_{&mutex_};
  // The client's socket, -1 once the connection ended.
  int fd_ CORE_GUARDED_BY(mutex_);
  bool closed_ CORE_GUARDED_BY(mutex_) = false;
  bool replied_ CORE_GUARDED_BY(mutex_) = false;  // A whole response is set.
  bool chunked_ CORE_GUARDED_BY(mutex_) = false;  // A chunked one was begun.
  bool finished_ CORE_GUARDED_BY(mutex_) = false;
  Response response_ CORE_GUARDED_BY(mutex_);
  std::deque<std::string> chunks_ CORE_GUARDED_BY(mutex_);
  size_t chunk_offset_ CORE_GUARDED_BY(mutex_) = 0;  // Into chunks_.front().
};

class DebugHttpServer {
 public:
  struct Options {
    int port = 0;  // 0: any free port.
    unsigned connection_timeout_s = 10;
    std::chrono::milliseconds reply_timeout{30000};
    size_t max_body_bytes = 1 << 20;
    size_t header_memory_bytes = 16 << 10;
    unsigned max_connections = 16;
  };
  // Runs on the connection's thread, once per complete request.
  using Handler = std::function<void(const HttpRequest& request,
                                     std::shared_ptr<HttpExchange> exchange)>;

  DebugHttpServer(const Options& options, Handler handler);
  DebugHttpServer(const DebugHttpServer&) = delete;
  DebugHttpServer& operator=(const DebugHttpServer&) = delete;
  // Stop().
  ~DebugHttpServer();

  // False with |*error| set when the address cannot be served.
  bool Start(std::string* error);
  // Ends every connection (waiting exchanges count as closed) and waits for
  // the running handlers to return.
  void Stop();
  int port() const { return port_; }

 private:
  friend class MhdCallbacks;  // libmicrohttpd's entry points.
  struct Request;             // One request's state on its connection.

  // On the connection's thread: runs the handler for the complete |request|
  // and queues what it answers; false closes the connection.
  bool Answer(MHD_Connection* connection, Request* request);

  const Options options_;
  const Handler handler_;
  MHD_Daemon* daemon_ = nullptr;  // Owner's thread only.
  int port_ = 0;

  core::Mutex mutex_;
  bool stopping_ CORE_GUARDED_BY(mutex_) = false;
  // Being answered.
  std::set<std::shared_ptr<HttpExchange>> live_ CORE_GUARDED_BY(mutex_);
};

}  // namespace vantor_host

#endif  // HOST_DEBUG_DEBUG_HTTP_SERVER_H_
