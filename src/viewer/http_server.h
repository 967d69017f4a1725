#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/result.h"
#include "runtime/unique_fd.h"
#include "viewer/http_message.h"

namespace kestrine {

// A small HTTP/1.1 server for the viewer: GET and HEAD only, answered by one
// handler, one thread per connection. Whatever a client does, it costs a
// bounded head, a bounded time and one thread: heads are capped in size and
// in lines, a head must arrive within its time and an idle connection is
// closed, bodies are never read (a request with one is answered, then its
// connection closed), and a reader that takes nothing for a while is
// dropped. Ranges of a file are answered as RFC 9110 says (206, 416).
class HttpServer {
 public:
  using Handler = std::function<HttpResponse(const HttpRequest&)>;

  struct Limits {
    std::size_t maxHeadBytes = 16 * 1024;
    std::size_t maxHeaders = 100;
    // From a head's first byte to its blank line.
    std::chrono::milliseconds headTime{10000};
    // Waiting for the next request on a kept-alive connection.
    std::chrono::milliseconds idleTime{5000};
    // A reader that takes no byte of the answer for this long is dropped.
    std::chrono::milliseconds sendStall{30000};
    // Connections served at once; one more is answered 503 and closed.
    int maxConnections = 512;
  };

  explicit HttpServer(Handler handler);
  HttpServer(Handler handler, Limits limits);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on 127.0.0.1 at `port` (0: any free one) and serves on threads
  // of its own; the port, or why not.
  Result<int> Start(int port);
  // Closes every connection and returns once every thread has ended.
  void Stop();

 private:
  struct Connection;
  void AcceptLoop();
  void ReapEndedLocked();
  void Serve(Connection& connection);

  Handler handler_;
  Limits limits_;
  UniqueFd listener_;
  int port_ = 0;
  std::thread acceptor_;
  std::mutex mutex_;
  bool stopping_ = false;
  std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace kestrine
