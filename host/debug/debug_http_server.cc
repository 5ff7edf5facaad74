// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "host/debug/debug_http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>

#include "core/eintr_wrapper.h"
#include "core/logging.h"

namespace vantor_host {
namespace {

// How often a waiting connection looks whether its client is still there.
constexpr auto kPeerPoll = std::chrono::milliseconds(50);

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return s;
}

}  // namespace

// ---- HttpExchange -----------------------------------------------------------

bool HttpExchange::Reply(int status,
                         const std::string& body,
                         const HttpHeaders& headers) {
  core::AutoLock lock(&mutex_);
  if (closed_ || replied_ || chunked_ || finished_)
    return false;
  response_.status = status;
  response_.body = body;
  response_.headers = headers;
  replied_ = true;
  changed_.Broadcast();
  return true;
}

bool HttpExchange::SendChunk(const std::string& body) {
  core::AutoLock lock(&mutex_);
  if (closed_ || replied_ || finished_)
    return false;
  chunked_ = true;
  response_.status = 200;
  // An empty chunk would end the stream; it carries nothing anyway.
  if (!body.empty())
    chunks_.push_back(body);
  changed_.Broadcast();
  return true;
}

void HttpExchange::Finish() {
  core::AutoLock lock(&mutex_);
  finished_ = true;
  changed_.Broadcast();
}

bool HttpExchange::IsClosed() {
  core::AutoLock lock(&mutex_);
  return closed_ || CheckPeerLocked();
}

HttpExchange::Outcome HttpExchange::WaitForAnswer(
    std::chrono::milliseconds timeout,
    Response* response) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  core::AutoLock lock(&mutex_);
  for (;;) {
    if (closed_)
      return Outcome::kClosed;
    if (finished_ && !replied_ && !chunked_) {
      response_.status = 500;
      response_.body = "The debug handler sent no reply\n";
      replied_ = true;
    }
    if (replied_) {
      *response = response_;
      return Outcome::kReply;
    }
    if (chunked_)
      return Outcome::kChunked;
    if (CheckPeerLocked())
      return Outcome::kClosed;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline)
      return Outcome::kTimeout;
    changed_.WaitUntil(std::min(deadline, now + kPeerPoll));
  }
}

long HttpExchange::ReadChunks(char* out, size_t size) {
  core::AutoLock lock(&mutex_);
  for (;;) {
    if (closed_)
      return -1;
    if (!chunks_.empty()) {
      size_t n = 0;
      while (n < size && !chunks_.empty()) {
        const std::string& chunk = chunks_.front();
        const size_t take = std::min(size - n, chunk.size() - chunk_offset_);
        memcpy(out + n, chunk.data() + chunk_offset_, take);
        n += take;
        chunk_offset_ += take;
        if (chunk_offset_ == chunk.size()) {
          chunks_.pop_front();
          chunk_offset_ = 0;
        }
      }
      return static_cast<long>(n);
    }
    if (finished_)
      return 0;
    if (CheckPeerLocked())
      return -1;
    changed_.WaitUntil(std::chrono::steady_clock::now() + kPeerPoll);
  }
}

void HttpExchange::MarkClosed() {
  core::AutoLock lock(&mutex_);
  closed_ = true;
  fd_ = -1;
  changed_.Broadcast();
}

bool HttpExchange::CheckPeerLocked() {
  if (closed_ || fd_ < 0)
    return closed_;
  pollfd p = {fd_, POLLIN | POLLRDHUP, 0};
  if (HANDLE_EINTR(poll(&p, 1, 0)) <= 0)
    return false;
  bool gone = (p.revents & (POLLHUP | POLLERR | POLLRDHUP)) != 0;
  if (!gone && (p.revents & POLLIN)) {
    // Readable: a pipelined request, or the end of the stream.
    char c;
    gone = HANDLE_EINTR(recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT)) == 0;
  }
  if (gone) {
    closed_ = true;
    changed_.Broadcast();
  }
  return gone;
}

// ---- DebugHttpServer --------------------------------------------------------

struct DebugHttpServer::Request {
  HttpRequest request;
  bool too_big = false;
  std::shared_ptr<HttpExchange> exchange;  // Once the handler has it.
};

// libmicrohttpd's callbacks; each runs on a connection's thread (Log on any
// of the server's threads).
class MhdCallbacks {
 public:
  static MHD_Result OnRequest(void* cls,
                              MHD_Connection* connection,
                              const char* url,
                              const char* method,
                              const char* /*version*/,
                              const char* upload_data,
                              size_t* upload_data_size,
                              void** con_cls) {
    auto* server = static_cast<DebugHttpServer*>(cls);
    auto* request = static_cast<DebugHttpServer::Request*>(*con_cls);
    if (!request) {
      request = new DebugHttpServer::Request();
      request->request.method = method;
      request->request.path = url;
      MHD_get_connection_values(connection, MHD_HEADER_KIND, &CollectHeader,
                                &request->request.headers);
      MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND,
                                &CollectParam, &request->request.params);
      *con_cls = request;
      return MHD_YES;
    }
    if (*upload_data_size > 0) {
      std::string& body = request->request.body;
      if (body.size() + *upload_data_size > server->options_.max_body_bytes) {
        request->too_big = true;
        body.clear();
      }
      if (!request->too_big)
        body.append(upload_data, *upload_data_size);
      *upload_data_size = 0;
      return MHD_YES;
    }
    return server->Answer(connection, request) ? MHD_YES : MHD_NO;
  }

  static void OnCompleted(void* cls,
                          MHD_Connection* /*connection*/,
                          void** con_cls,
                          MHD_RequestTerminationCode /*code*/) {
    auto* server = static_cast<DebugHttpServer*>(cls);
    auto* request = static_cast<DebugHttpServer::Request*>(*con_cls);
    *con_cls = nullptr;
    if (!request)
      return;
    if (request->exchange) {
      // The answer is over, sent or not: its socket may be reused now.
      request->exchange->MarkClosed();
      core::AutoLock lock(&server->mutex_);
      server->live_.erase(request->exchange);
    }
    delete request;
  }

  static ssize_t ReadChunks(void* cls, uint64_t, char* out, size_t size) {
    long n =
        static_cast<std::shared_ptr<HttpExchange>*>(cls)->get()->ReadChunks(
            out, size);
    if (n == 0)
      return MHD_CONTENT_READER_END_OF_STREAM;
    if (n < 0)
      return MHD_CONTENT_READER_END_WITH_ERROR;
    return n;
  }

  static void FreeChunks(void* cls) {
    delete static_cast<std::shared_ptr<HttpExchange>*>(cls);
  }

  static void Log(void*, const char* format, va_list args) {
    char line[512];
    vsnprintf(line, sizeof(line), format, args);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
      text.pop_back();
    // What Answer() refused it has logged already.
    if (text.rfind("Application reported internal error", 0) == 0)
      return;
    LOG(WARNING) << "Debug server: " << text;
  }

 private:
  static MHD_Result CollectHeader(void* cls,
                                  MHD_ValueKind,
                                  const char* key,
                                  const char* value) {
    (*static_cast<std::map<std::string, std::string>*>(cls))[Lower(key)] =
        value ? value : "";
    return MHD_YES;
  }
  static MHD_Result CollectParam(void* cls,
                                 MHD_ValueKind,
                                 const char* key,
                                 const char* value) {
    (*static_cast<std::map<std::string, std::string>*>(cls))[key] =
        value ? value : "";
    return MHD_YES;
  }
};

namespace {

bool QueueBuffer(MHD_Connection* connection,
                 int status,
                 const std::string& body,
                 const HttpHeaders& headers) {
  MHD_Response* response = MHD_create_response_from_buffer(
      body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (!response)
    return false;
  bool typed = false;
  for (const auto& [name, value] : headers) {
    MHD_add_response_header(response, name.c_str(), value.c_str());
    typed = typed || Lower(name) == "content-type";
  }
  if (!typed) {
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                            "text/plain; charset=utf-8");
  }
  const bool queued =
      MHD_queue_response(connection, static_cast<unsigned>(status), response) ==
      MHD_YES;
  MHD_destroy_response(response);
  return queued;
}

}  // namespace

DebugHttpServer::DebugHttpServer(const Options& options, Handler handler)
    : options_(options), handler_(std::move(handler)) {}

DebugHttpServer::~DebugHttpServer() {
  Stop();
}

bool DebugHttpServer::Start(std::string* error) {
  if (options_.port < 0 || options_.port > 65535) {
    *error = std::to_string(options_.port) + " is not a port";
    return false;
  }
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(options_.port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // Never reachable from
                                                     // the network.
  // The logger comes first, or libmicrohttpd prints what the options say.
  daemon_ = MHD_start_daemon(
      MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL_INTERNAL_THREAD |
          MHD_USE_ERROR_LOG,
      0, nullptr, nullptr, &MhdCallbacks::OnRequest, this,
      MHD_OPTION_EXTERNAL_LOGGER, &MhdCallbacks::Log, this,
      MHD_OPTION_SOCK_ADDR, &address, MHD_OPTION_CONNECTION_TIMEOUT,
      options_.connection_timeout_s, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
      options_.header_memory_bytes, MHD_OPTION_CONNECTION_LIMIT,
      options_.max_connections, MHD_OPTION_NOTIFY_COMPLETED,
      &MhdCallbacks::OnCompleted, this, MHD_OPTION_END);
  if (!daemon_) {
    *error = "cannot listen on 127.0.0.1:" + std::to_string(options_.port);
    return false;
  }
  const MHD_DaemonInfo* info =
      MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  port_ = info ? info->port : options_.port;
  return true;
}

void DebugHttpServer::Stop() {
  if (!daemon_)
    return;
  std::set<std::shared_ptr<HttpExchange>> live;
  {
    core::AutoLock lock(&mutex_);
    stopping_ = true;
    live = live_;
  }
  for (const auto& exchange : live)
    exchange->MarkClosed();
  MHD_stop_daemon(daemon_);  // Joins the connection threads.
  daemon_ = nullptr;
}

bool DebugHttpServer::Answer(MHD_Connection* connection, Request* request) {
  const HttpRequest& r = request->request;
  if (request->too_big) {
    LOG(INFO) << "Debug server: " << r.method << " " << r.path << " -> 413";
    return QueueBuffer(connection, MHD_HTTP_CONTENT_TOO_LARGE,
                       "The body exceeds " +
                           std::to_string(options_.max_body_bytes) + " bytes\n",
                       {});
  }
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  auto exchange = std::make_shared<HttpExchange>(info ? info->connect_fd : -1);
  {
    core::AutoLock lock(&mutex_);
    if (stopping_)
      return false;
    live_.insert(exchange);
  }
  request->exchange = exchange;
  handler_(r, exchange);

  HttpExchange::Response answer;
  switch (exchange->WaitForAnswer(options_.reply_timeout, &answer)) {
    case HttpExchange::Outcome::kClosed:
      LOG(INFO) << "Debug server: " << r.method << " " << r.path
                << ": the client has gone";
      return false;
    case HttpExchange::Outcome::kTimeout:
      exchange->MarkClosed();
      LOG(WARNING) << "Debug server: " << r.method << " " << r.path
                   << ": no reply within " << options_.reply_timeout.count()
                   << " ms -> 500";
      return QueueBuffer(connection, MHD_HTTP_INTERNAL_SERVER_ERROR,
                         "The debug handler did not reply in time\n", {});
    case HttpExchange::Outcome::kReply:
      LOG(INFO) << "Debug server: " << r.method << " " << r.path << " -> "
                << answer.status;
      return QueueBuffer(connection, answer.status, answer.body,
                         answer.headers);
    case HttpExchange::Outcome::kChunked:
      break;
  }
  LOG(INFO) << "Debug server: " << r.method << " " << r.path
            << " -> 200, chunked";
  auto* shared = new std::shared_ptr<HttpExchange>(exchange);
  MHD_Response* response = MHD_create_response_from_callback(
      MHD_SIZE_UNKNOWN, 4096, &MhdCallbacks::ReadChunks, shared,
      &MhdCallbacks::FreeChunks);
  if (!response) {
    delete shared;
    return false;
  }
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                          "text/plain; charset=utf-8");
  const bool queued =
      MHD_queue_response(connection, MHD_HTTP_OK, response) == MHD_YES;
  MHD_destroy_response(response);
  return queued;
}

}  // namespace vantor_host
