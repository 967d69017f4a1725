#pragma once

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"
#include "support/tls_server.h"

namespace kestrine::testing {

// nginx serving a folder over HTTPS on 127.0.0.1 with HTTP/2 offered by
// ALPN, as most of the web serves today, with a certificate made for the
// test. Each answer may be slowed to a rate, so transfers stay in flight
// long enough to be seen together; the access log tells which connection
// and protocol carried each request and when.
class NginxServer {
 public:
  // One request as the access log has it.
  struct Request {
    long connection = 0;
    std::string protocol;  // "HTTP/2.0", "HTTP/1.1"
    std::string path;
    double started = 0;  // seconds, from nginx's clock
    double ended = 0;
  };

  // `requestsPerConnection`: after that many requests nginx closes a
  // connection, over HTTP/2 with a GOAWAY frame.
  // `gzip`: style sheets and scripts are compressed on the fly.
  explicit NginxServer(const std::filesystem::path& root, long bytesPerSecond = 0,
                       long requestsPerConnection = 100000, bool gzip = false) {
    port_ = FreePort();
    std::filesystem::create_directories(folder_.path() / "temp");
    WriteConfiguration(root, bytesPerSecond, requestsPerConnection, gzip);
    pid_ = fork();
    if (pid_ == 0) {
      if (!std::freopen("/dev/null", "w", stderr)) _exit(127);
      const std::string prefix = folder_.path().string() + "/";
      execlp("nginx", "nginx", "-p", prefix.c_str(), "-c", "nginx.conf",
             static_cast<char*>(nullptr));
      execl("/usr/sbin/nginx", "nginx", "-p", prefix.c_str(), "-c", "nginx.conf",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    WaitUntilListening();
  }
  ~NginxServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  bool IsRunning() const { return listening_; }
  std::string CaPath() const { return certificate_.CertificatePath(); }
  std::u16string Url(const std::string& path) const {
    const std::string url = "https://127.0.0.1:" + std::to_string(port_) + path;
    return std::u16string(url.begin(), url.end());
  }
  std::string SiteFolderName() const { return "127.0.0.1-" + std::to_string(port_); }

  std::vector<Request> Requests() const {
    std::vector<Request> requests;
    std::istringstream log(TempFolder::Read(folder_.path() / "access.log"));
    for (std::string line; std::getline(log, line);) {
      std::istringstream fields(line);
      Request request;
      double duration = 0;
      fields >> request.connection >> request.protocol >> request.path >> request.ended >> duration;
      request.started = request.ended - duration;
      if (fields) requests.push_back(request);
    }
    return requests;
  }

  // The most requests that were in flight at one moment.
  static int MostAtOnce(const std::vector<Request>& requests) {
    int most = 0;
    for (const Request& at : requests) {
      int together = 0;
      for (const Request& other : requests) {
        together += other.started <= at.started && at.started < other.ended ? 1 : 0;
      }
      most = std::max(most, together);
    }
    return most;
  }

 private:
  static int FreePort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
  }

  void WriteConfiguration(const std::filesystem::path& root, long bytesPerSecond,
                          long requestsPerConnection, bool gzip) const {
    const std::string temp = (folder_.path() / "temp").string();
    std::ofstream conf(folder_.path() / "nginx.conf");
    conf << "daemon off;\nmaster_process off;\nerror_log error.log;\npid nginx.pid;\n"
         << "events { worker_connections 512; }\n"
         << "http {\n"
         << "  log_format timed '$connection $server_protocol $request_uri $msec $request_time';\n"
         << "  access_log access.log timed;\n"
         << "  types { text/html html; text/css css; application/octet-stream bin; }\n"
         << "  client_body_temp_path " << temp << "/body;\n"
         << "  proxy_temp_path " << temp << "/proxy;\n"
         << "  fastcgi_temp_path " << temp << "/fastcgi;\n"
         << "  uwsgi_temp_path " << temp << "/uwsgi;\n"
         << "  scgi_temp_path " << temp << "/scgi;\n"
         << (gzip ? "  gzip on; gzip_min_length 0; gzip_types text/css application/javascript;\n"
                  : "")
         << "  server {\n"
         << "    listen 127.0.0.1:" << port_ << " ssl http2;\n"
         << "    ssl_certificate " << certificate_.CertificatePath() << ";\n"
         << "    ssl_certificate_key " << certificate_.KeyPath() << ";\n"
         << "    http2_max_concurrent_streams 128;\n"
         << "    keepalive_requests " << requestsPerConnection << ";\n"
         << "    root " << root.string() << ";\n";
    if (bytesPerSecond > 0) conf << "    limit_rate " << bytesPerSecond << ";\n";
    conf << "  }\n}\n";
  }

  void WaitUntilListening() {
    for (int i = 0; i < 500 && !listening_; ++i) {
      const int probe = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<uint16_t>(port_));
      listening_ = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      close(probe);
      if (!listening_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
    }
  }

  TempFolder folder_;
  SelfSignedCertificate certificate_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool listening_ = false;
};

}  // namespace kestrine::testing
