// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

// The debug interface over real HTTP: requests on sockets of this process,
// answered by handlers registered as a client would.
#include "host/debug/debug_http_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "core/eintr_wrapper.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "host/debug/host_debug_interface.h"
#include "testing/host_test_util.h"

namespace vantor_host {
namespace {

using assistant_client::DebugHttpContext;
using assistant_client::DebugInterface;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using testing_util::LogCapture;

constexpr int kPatienceMs = 10000;

// A socket to the server, closed when it goes.
class Client {
 public:
  explicit Client(int port, const char* address = "127.0.0.1") {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address, &to.sin_addr);
    connected_ =
        connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0;
    error_ = errno;
  }
  ~Client() { Close(); }
  bool connected() const { return connected_; }
  int error() const { return error_; }
  void Send(const std::string& bytes) {
    ASSERT_EQ(
        static_cast<ssize_t>(bytes.size()),
        HANDLE_EINTR(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)));
  }
  // Reads until |text| has arrived, the server closes, or the patience
  // ends; returns all read so far.
  std::string ReadUntil(const std::string& text = "") {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(kPatienceMs);
    while (text.empty() || received_.find(text) == std::string::npos) {
      const int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(
              end - std::chrono::steady_clock::now())
              .count());
      pollfd p = {fd_, POLLIN, 0};
      if (left <= 0 || HANDLE_EINTR(poll(&p, 1, left)) <= 0)
        break;
      char buffer[4096];
      const ssize_t n = HANDLE_EINTR(recv(fd_, buffer, sizeof(buffer), 0));
      if (n <= 0) {
        closed_by_server_ = true;
        break;
      }
      received_.append(buffer, n);
    }
    return received_;
  }
  bool closed_by_server() const { return closed_by_server_; }
  void Close() {
    if (fd_ >= 0)
      close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  int error_ = 0;
  bool closed_by_server_ = false;
  std::string received_;
};

int Status(const std::string& response) {
  return response.size() > 12 ? std::atoi(response.substr(9, 3).c_str()) : 0;
}

std::string Body(const std::string& response) {
  const size_t at = response.find("\r\n\r\n");
  return at == std::string::npos ? "" : response.substr(at + 4);
}

// The body of a chunked response, without the framing.
std::string Unchunk(std::string body) {
  std::string data;
  for (;;) {
    const size_t line = body.find("\r\n");
    if (line == std::string::npos)
      return data + "<truncated>";
    const size_t size = std::stoul(body.substr(0, line), nullptr, 16);
    if (size == 0)
      return data;
    data += body.substr(line + 2, size);
    body = body.substr(line + 2 + size + 2);
  }
}

// A whole request on a connection of its own.
std::string Fetch(int port, const std::string& request) {
  Client client(port);
  EXPECT_TRUE(client.connected());
  client.Send(request);
  return client.ReadUntil();
}

std::string Get(int port, const std::string& target) {
  return Fetch(port, "GET " + target +
                         " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
}

// Hands the contexts that a test's handlers keep over to the test.
struct Kept {
  void Keep(DebugHttpContext* context) {
    std::lock_guard<std::mutex> lock(mutex);
    contexts.push_back(context);
    changed.notify_all();
  }
  DebugHttpContext* WaitForOne() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(kPatienceMs),
                     [this] { return !contexts.empty(); });
    if (contexts.empty())
      return nullptr;
    DebugHttpContext* context = contexts.front();
    contexts.erase(contexts.begin());
    return context;
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<DebugHttpContext*> contexts;
};

class DebugHttpServerTest : public ::testing::Test {
 protected:
  void Serve(DebugHttpServer::Options options = {}) {
    options.port = 0;
    ASSERT_TRUE(debug_.StartServer(options));
    port_ = debug_.port();
    ASSERT_GT(port_, 0);
  }
  void Register(const std::string& path,
                DebugInterface::HandlerCallback handler,
                std::vector<DebugHttpContext::Method> methods = {
                    DebugHttpContext::kGet}) {
    debug_.RegisterUriPath(path, std::move(handler), methods);
  }

  LogCapture log_;
  HostDebugInterface debug_;
  int port_ = 0;
};

TEST_F(DebugHttpServerTest, AHandlerSeesTheWholeRequest) {
  struct Seen {
    DebugHttpContext::Method method;
    std::string path, data, y, missing = "untouched", header;
    bool has_x, has_z, has_header, found_missing;
  } seen;
  Register("/probe",
           [&seen](DebugHttpContext* context) {
             seen.method = context->GetMethod();
             seen.path = context->GetPath();
             seen.data = context->GetData();
             seen.has_x = context->HasParam("x");
             seen.has_z = context->HasParam("z");
             context->GetParamValue("y", &seen.y);
             seen.found_missing = context->GetParamValue("z", &seen.missing);
             seen.has_header = context->HasHeader("x-CUSTOM");
             context->GetHeaderValue("X-Custom", &seen.header);
             context->ReplyOk("seen\n");
             delete context;
           },
           {DebugHttpContext::kGet, DebugHttpContext::kPost});
  Serve();
  const std::string response = Fetch(
      port_, std::string("POST /probe?x=1&y=two%20words HTTP/1.1\r\nHost: x\r\n"
                         "X-Custom: Value 1\r\nContent-Length: 9\r\n"
                         "Connection: close\r\n\r\n") +
                 std::string("body\0data", 9));
  EXPECT_EQ(200, Status(response)) << response;
  EXPECT_EQ("seen\n", Body(response));
  EXPECT_EQ(DebugHttpContext::kPost, seen.method);
  EXPECT_EQ("/probe", seen.path);
  EXPECT_EQ(std::string("body\0data", 9), seen.data);
  EXPECT_TRUE(seen.has_x);
  EXPECT_FALSE(seen.has_z);
  EXPECT_EQ("two words", seen.y);
  EXPECT_FALSE(seen.found_missing);
  EXPECT_EQ("", seen.missing);
  EXPECT_TRUE(seen.has_header);
  EXPECT_EQ("Value 1", seen.header);
}

TEST_F(DebugHttpServerTest, EachReplyIsItsStatus) {
  Register("/ok", [](DebugHttpContext* c) {
    c->ReplyOk("fine");
    delete c;
  });
  Register("/bad", [](DebugHttpContext* c) {
    c->ReplyBadRequest("no good");
    delete c;
  });
  Register("/missing", [](DebugHttpContext* c) {
    c->ReplyNotFound();
    delete c;
  });
  Register("/broken", [](DebugHttpContext* c) {
    c->ReplyInternalServerError("oops");
    c->ReplyOk("too late");  // A second reply is dropped.
    delete c;
  });
  Serve();
  EXPECT_EQ(200, Status(Get(port_, "/ok")));
  EXPECT_EQ("fine", Body(Get(port_, "/ok")));
  EXPECT_EQ(400, Status(Get(port_, "/bad")));
  EXPECT_EQ("no good", Body(Get(port_, "/bad")));
  EXPECT_EQ(404, Status(Get(port_, "/missing")));
  const std::string broken = Get(port_, "/broken");
  EXPECT_EQ(500, Status(broken));
  EXPECT_EQ("oops", Body(broken));
  EXPECT_EQ(1, log_.Count("a 200 reply after the reply began is dropped"));
}

TEST_F(DebugHttpServerTest, UnservedPathsAndMethodsGetTheirErrors) {
  int calls = 0;
  Register("/only-get",
           [&calls](DebugHttpContext* c) {
             ++calls;
             c->ReplyOk("");
             delete c;
           },
           {DebugHttpContext::kGet, DebugHttpContext::kDelete});
  Serve();
  EXPECT_EQ(404, Status(Get(port_, "/elsewhere")));
  const std::string put =
      Fetch(port_,
            "PUT /only-get HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n"
            "Connection: close\r\n\r\n");
  EXPECT_EQ(405, Status(put));
  EXPECT_THAT(put, HasSubstr("Allow: GET, DELETE\r\n"));
  EXPECT_EQ(405, Status(Fetch(port_,
                              "HEAD /only-get HTTP/1.1\r\nHost: x\r\n"
                              "Connection: close\r\n\r\n")));
  EXPECT_EQ(501, Status(Fetch(port_,
                              "BREW /only-get HTTP/1.1\r\nHost: x\r\n"
                              "Connection: close\r\n\r\n")));
  // A request line that is no HTTP at all: libmicrohttpd answers 400 before
  // 1.0 and closes the connection unanswered from 1.0 on.
  EXPECT_EQ(MHD_VERSION < 0x01000000 ? 400 : 0,
            Status(Fetch(port_, "\x01\x02 nonsense\r\n\r\n")));
  EXPECT_EQ(0, calls);
  EXPECT_EQ(200, Status(Get(port_, "/only-get")));  // Still serving.
  EXPECT_EQ(1, calls);
}

TEST_F(DebugHttpServerTest, AChunkedReplyStreamsUntilTheContextGoes) {
  std::mutex mutex;
  std::condition_variable first_read;
  bool go_on = false;
  std::thread later;
  Register("/stream", [&](DebugHttpContext* context) {
    context->ReplyChunked("one\n");
    // The rest comes from another thread, once the client holds the first.
    later = std::thread([&, context] {
      std::unique_lock<std::mutex> lock(mutex);
      first_read.wait_for(lock, std::chrono::milliseconds(kPatienceMs),
                          [&] { return go_on; });
      context->ReplyChunked("two\n");
      context->ReplyChunked("");  // Nothing: not the end of the stream.
      context->ReplyChunked("three\n");
      context->ReplyOk("not now");  // Dropped: the reply is chunked.
      delete context;
    });
  });
  Serve();
  Client client(port_);
  client.Send("GET /stream HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  const std::string head = client.ReadUntil("one\n");
  EXPECT_THAT(head, HasSubstr("Transfer-Encoding: chunked"));
  EXPECT_THAT(head, Not(HasSubstr("two")));
  {
    std::lock_guard<std::mutex> lock(mutex);
    go_on = true;
    first_read.notify_all();
  }
  const std::string response = client.ReadUntil();
  later.join();
  EXPECT_EQ(200, Status(response));
  EXPECT_EQ("one\ntwo\nthree\n", Unchunk(Body(response)));
  EXPECT_TRUE(client.closed_by_server());
}

TEST_F(DebugHttpServerTest, ASlowClientIsCutOffWithoutHoldingOthers) {
  Register("/ok", [](DebugHttpContext* c) {
    c->ReplyOk("fine");
    delete c;
  });
  DebugHttpServer::Options options;
  options.connection_timeout_s = 1;
  Serve(options);
  Client slow(port_);
  slow.Send("GET /ok HTTP/1.1\r\nHo");  // And then nothing.
  EXPECT_EQ("fine", Body(Get(port_, "/ok")));
  const std::string answer = slow.ReadUntil();
  EXPECT_TRUE(slow.closed_by_server());
  EXPECT_EQ("", Body(answer));
}

TEST_F(DebugHttpServerTest, OversizedHeadersAndBodiesAreRefused) {
  int calls = 0;
  Register("/ok",
           [&calls](DebugHttpContext* c) {
             ++calls;
             c->ReplyOk("fine");
             delete c;
           },
           {DebugHttpContext::kGet, DebugHttpContext::kPost});
  DebugHttpServer::Options options;
  options.max_body_bytes = 1000;
  Serve(options);
  const std::string huge = Fetch(
      port_, "GET /ok HTTP/1.1\r\nHost: x\r\nX-Big: " +
                 std::string(64 * 1024, 'a') + "\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(431, Status(huge)) << huge.substr(0, 200);
  const std::string body =
      Fetch(port_,
            "POST /ok HTTP/1.1\r\nHost: x\r\nContent-Length: 5000\r\n"
            "Connection: close\r\n\r\n" +
                std::string(5000, 'b'));
  EXPECT_EQ(413, Status(body)) << body.substr(0, 200);
  EXPECT_EQ(0, calls);
  EXPECT_EQ(200, Status(Get(port_, "/ok")));
}

TEST_F(DebugHttpServerTest, AContextKnowsWhenItsClientHasGone) {
  Kept kept;
  Register("/hold", [&kept](DebugHttpContext* context) { kept.Keep(context); });
  Serve();
  Client client(port_);
  client.Send("GET /hold HTTP/1.1\r\nHost: x\r\n\r\n");
  DebugHttpContext* context = kept.WaitForOne();
  ASSERT_NE(nullptr, context);
  EXPECT_FALSE(context->IsClosed());
  client.Close();
  bool closed = false;
  for (int i = 0; i < kPatienceMs / 10 && !closed; ++i) {
    closed = context->IsClosed();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(closed);
  context->ReplyOk("nobody hears this");  // Harmless.
  delete context;
  EXPECT_EQ(0, log_.Count("after the reply began"));
}

TEST_F(DebugHttpServerTest, AHandlerThatNeverRepliesGetsItsClient500) {
  Kept kept;
  Register("/silent",
           [&kept](DebugHttpContext* context) { kept.Keep(context); });
  Register("/forgets", [](DebugHttpContext* context) { delete context; });
  DebugHttpServer::Options options;
  options.reply_timeout = std::chrono::milliseconds(200);
  Serve(options);
  const std::string late = Get(port_, "/silent");
  EXPECT_EQ(500, Status(late));
  EXPECT_THAT(Body(late), HasSubstr("did not reply in time"));
  DebugHttpContext* context = kept.WaitForOne();
  ASSERT_NE(nullptr, context);
  EXPECT_TRUE(context->IsClosed());  // The host gave up on it.
  delete context;
  const std::string forgotten = Get(port_, "/forgets");
  EXPECT_EQ(500, Status(forgotten));
  EXPECT_THAT(Body(forgotten), HasSubstr("sent no reply"));
}

TEST_F(DebugHttpServerTest, DebugVariablesAreOneJsonObject) {
  debug_.SetDebugVariable("build", "42");
  debug_.SetDebugVariable("quote", "say \"hi\"\n\x01");
  debug_.SetDebugVariable("build", "43");
  // The host's own path is not for clients.
  Register(HostDebugInterface::kVariablesPath,
           [](DebugHttpContext* c) { delete c; });
  EXPECT_EQ(1, log_.Count("the host serves this path itself"));
  Serve();
  const std::string response = Get(port_, "/debug/variables");
  EXPECT_EQ(200, Status(response));
  EXPECT_THAT(response, HasSubstr("Content-Type: application/json"));
  EXPECT_EQ(
      "{\n  \"build\": \"43\",\n  \"quote\": \"say \\\"hi\\\"\\n\\u0001\"\n}\n",
      Body(response));
  EXPECT_EQ(405, Status(Fetch(port_,
                              "DELETE /debug/variables HTTP/1.1\r\nHost: x\r\n"
                              "Connection: close\r\n\r\n")));
}

TEST_F(DebugHttpServerTest, OnlyLoopbackIsServed) {
  Serve();
  Client other(port_, "127.0.0.2");  // Loopback too, but not the address.
  EXPECT_FALSE(other.connected());
  EXPECT_EQ(ECONNREFUSED, other.error());
  HostDebugInterface second;
  DebugHttpServer::Options taken;
  taken.port = port_;
  EXPECT_FALSE(second.StartServer(taken));
  EXPECT_EQ(1,
            log_.Count("cannot listen on 127.0.0.1:" + std::to_string(port_)));
}

TEST_F(DebugHttpServerTest, StoppingEndsWaitingRequests) {
  Kept kept;
  Register("/hold", [&kept](DebugHttpContext* context) { kept.Keep(context); });
  Serve();
  Client client(port_);
  client.Send("GET /hold HTTP/1.1\r\nHost: x\r\n\r\n");
  DebugHttpContext* context = kept.WaitForOne();
  ASSERT_NE(nullptr, context);
  debug_.StopServer();
  client.ReadUntil();
  EXPECT_TRUE(client.closed_by_server());
  EXPECT_TRUE(context->IsClosed());
  context->ReplyChunked("after the end");  // Harmless.
  delete context;
  EXPECT_EQ(0, debug_.port());
}

}  // namespace
}  // namespace vantor_host
