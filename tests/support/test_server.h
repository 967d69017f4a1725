#pragma once

#include <httplib.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace kestrine::testing {

// Runs a server on 127.0.0.1 and a free port on its own thread for the life
// of the object, and stops it at the end. Register handlers on the server
// before the first request.
template <typename Server>
class ServingThread {
 public:
  explicit ServingThread(Server& server) : server_(server) {
    // Short keep-alive, so stopping does not wait on idle connections, and
    // no Nagle delay, which would hold each small answer back.
    server_.set_keep_alive_timeout(1);
    server_.set_tcp_nodelay(true);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // Bounded wait for the listening loop to start.
    for (int i = 0; i < 500 && !server_.is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  ~ServingThread() {
    server_.stop();
    thread_.join();
  }
  ServingThread(const ServingThread&) = delete;
  ServingThread& operator=(const ServingThread&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& path, const std::string& scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  Server& server_;
  std::thread thread_;
  int port_ = 0;
};

// A real HTTP server on 127.0.0.1. It starts serving when its address is
// first asked for, so the handlers registered before are in place before
// its thread begins (and ThreadSanitizer sees that they are).
class TestServer {
 public:
  httplib::Server& server() { return server_; }
  int port() const { return Serving().port(); }
  std::string Url(const std::string& path) const { return Serving().Url(path, "http"); }
  std::u16string WideUrl(const std::string& path) const {
    const std::string url = Url(path);
    return std::u16string(url.begin(), url.end());
  }

 private:
  const ServingThread<httplib::Server>& Serving() const {
    if (!serving_) serving_.emplace(server_);
    return *serving_;
  }

  mutable httplib::Server server_;
  mutable std::optional<ServingThread<httplib::Server>> serving_;
};

}  // namespace kestrine::testing
