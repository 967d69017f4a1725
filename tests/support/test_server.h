#pragma once

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

namespace kestrine::testing {

// A real HTTP server on 127.0.0.1 and a free port, running on its own
// thread for the life of the object. Register handlers on server() before
// the first request.
class TestServer {
 public:
  TestServer() {
    // Short keep-alive, so stopping does not wait on idle connections.
    server_.set_keep_alive_timeout(1);
    server_.set_tcp_nodelay(true);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // Bounded wait for the listening loop to start.
    for (int i = 0; i < 500 && !server_.is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  ~TestServer() {
    server_.stop();
    thread_.join();
  }
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  httplib::Server& server() { return server_; }
  int port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::u16string WideUrl(const std::string& path) const {
    const std::string url = Url(path);
    return std::u16string(url.begin(), url.end());
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace kestrine::testing
