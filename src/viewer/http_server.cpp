#include "viewer/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>

#include "viewer/byte_range.h"

namespace kestrine {

namespace {

using Clock = std::chrono::steady_clock;

// Whether the socket became ready for `events` before the deadline.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  while (true) {
    const long long left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd ready{fd, events, 0};
    const int count = ::poll(&ready, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
    if (count < 0 && errno == EINTR) continue;
    // An error or a hang-up shows itself to the next read or write.
    return count != 0;
  }
}

bool SendAll(int fd, std::string_view bytes, std::chrono::milliseconds stall) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, Clock::now() + stall)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool SendFile(int fd, int file, std::uint64_t first, std::uint64_t length,
              std::chrono::milliseconds stall) {
  auto offset = static_cast<off_t>(first);
  while (length > 0) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, 1 << 20));
    const ssize_t sent = ::sendfile(fd, file, &offset, chunk);
    if (sent > 0) {
      length -= static_cast<std::uint64_t>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, Clock::now() + stall)) return false;
    } else {
      return false;  // an error, or the file shrank under us
    }
  }
  return true;
}

// Ends a connection so the client reads the whole answer: what it still
// sends (the body of a refused request, say) is read and dropped for a
// moment, since closing on unread bytes resets the connection and may take
// the answer with it.
void Linger(int fd) {
  ::shutdown(fd, SHUT_WR);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(500);
  std::size_t dropped = 0;
  char chunk[16384];
  while (dropped < (1u << 20) && WaitFor(fd, POLLIN, deadline)) {
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (got <= 0) break;
    dropped += static_cast<std::size_t>(got);
  }
}

enum class HeadRead { Complete, Closed, TooLarge, TimedOut };

// The end of a head in `buffer` (past its blank line) and where its blank
// line begins, or nothing yet.
std::optional<std::pair<std::size_t, std::size_t>> HeadEnd(const std::string& buffer,
                                                           std::size_t from) {
  for (std::size_t at = buffer.find('\n', from); at != std::string::npos;
       at = buffer.find('\n', at + 1)) {
    if (at + 1 < buffer.size() && buffer[at + 1] == '\n') return std::make_pair(at, at + 2);
    if (at + 2 < buffer.size() && buffer[at + 1] == '\r' && buffer[at + 2] == '\n') {
      return std::make_pair(at, at + 3);
    }
  }
  return std::nullopt;
}

HttpResponse Plain(int status, std::string text) {
  HttpResponse response;
  response.status = status;
  response.body = std::move(text);
  response.SetHeader("Content-Type", "text/plain; charset=utf-8");
  return response;
}

// Token "close" in a Connection header.
bool AsksToClose(const HttpRequest& request) {
  std::string value = request.Header("Connection");
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return value.find("close") != std::string::npos;
}

bool HasBody(const HttpRequest& request) {
  const std::string length = request.Header("Content-Length");
  return request.HasHeader("Transfer-Encoding") || (!length.empty() && length != "0");
}

// A successful answer narrowed to the range asked for, as RFC 9110 says:
// a file's, or a body's (an archived answer).
void ApplyRange(const HttpRequest& request, HttpResponse& response) {
  if (response.status != 200) return;
  const bool file = response.file.valid();
  response.SetHeader("Accept-Ranges", "bytes");
  // A range of a representation the client may hold in another version is
  // not sent: without validators of our own, If-Range gets the whole.
  if (!request.HasHeader("Range") || request.HasHeader("If-Range")) return;
  const std::uint64_t whole = file ? response.fileSize : response.body.size();
  const ByteRange range = ByteRange::For(request.Header("Range"), whole);
  const std::string size = std::to_string(whole);
  if (range.kind == ByteRange::Kind::Unsatisfiable) {
    response.status = 416;
    response.file.Reset();
    response.fileSize = 0;
    response.body.clear();
    response.SetHeader("Content-Range", "bytes */" + size);
  } else if (range.kind == ByteRange::Kind::Part) {
    response.status = 206;
    response.SetHeader("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                            std::to_string(range.last) + "/" + size);
    if (file) {
      response.fileOffset = range.first;
      response.fileSize = range.length();
    } else {
      response.body = response.body.substr(range.first, range.length());
    }
  }
}

}  // namespace

struct HttpServer::Connection {
  explicit Connection(int fd) : socket(fd) {}
  UniqueFd socket;
  std::thread thread;
  std::atomic<bool> ended{false};
  std::string buffer;  // bytes read past the last head
};

HttpServer::HttpServer(Handler handler) : HttpServer(std::move(handler), Limits{}) {}

HttpServer::HttpServer(Handler handler, Limits limits)
    : handler_(std::move(handler)), limits_(limits) {}

HttpServer::~HttpServer() { Stop(); }

Result<int> HttpServer::Start(int port) {
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener) return Error{ErrorKind::Io, std::string("no socket: ") + std::strerror(errno)};
  const int yes = 1;
  ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.get(), SOMAXCONN) != 0 ||
      ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return Error{ErrorKind::Io, "cannot listen on 127.0.0.1" +
                                    (port == 0 ? std::string() : ":" + std::to_string(port)) +
                                    ": " + std::strerror(errno)};
  }
  listener_ = std::move(listener);
  port_ = static_cast<int>(ntohs(address.sin_port));
  acceptor_ = std::thread([this] { AcceptLoop(); });
  return port_;
}

void HttpServer::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || !listener_.valid()) return;
    stopping_ = true;
  }
  // A listening socket shut down ends the accept under way.
  ::shutdown(listener_.get(), SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  // The acceptor has ended: the list no longer changes, but its sockets
  // close as their threads end.
  {
    std::lock_guard lock(mutex_);
    for (const auto& connection : connections_) {
      if (connection->socket.valid()) ::shutdown(connection->socket.get(), SHUT_RDWR);
    }
  }
  for (const auto& connection : connections_) {
    if (connection->thread.joinable()) connection->thread.join();
  }
  connections_.clear();
  listener_.Reset();
}

void HttpServer::ReapEndedLocked() {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if ((*it)->ended.load()) {
      (*it)->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void HttpServer::AcceptLoop() {
  while (true) {
    const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    std::lock_guard lock(mutex_);
    if (stopping_) {
      if (fd >= 0) ::close(fd);
      return;
    }
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
      // Out of descriptors: the next try waits until a connection may be there.
      WaitFor(listener_.get(), POLLIN, Clock::now() + std::chrono::milliseconds(100));
      continue;
    }
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    ReapEndedLocked();
    if (static_cast<int>(connections_.size()) >= limits_.maxConnections) {
      const std::string busy =
          "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      ::send(fd, busy.data(), busy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      ::close(fd);
      continue;
    }
    auto connection = std::make_unique<Connection>(fd);
    Connection* serving = connection.get();
    connections_.push_back(std::move(connection));
    serving->thread = std::thread([this, serving] {
      Serve(*serving);
      Linger(serving->socket.get());
      std::lock_guard ended(mutex_);
      serving->socket.Reset();
      serving->ended = true;
    });
  }
}

namespace {

HeadRead ReadHead(int fd, std::string& buffer, std::string& head, const HttpServer::Limits& limits,
                  Clock::duration firstWait) {
  // Blank lines before a request are passed over (RFC 9112, 2.2).
  const auto skipBlankLines = [&buffer] {
    std::size_t blank = 0;
    while (blank < buffer.size() && (buffer[blank] == '\r' || buffer[blank] == '\n')) ++blank;
    buffer.erase(0, blank);
  };
  skipBlankLines();
  bool begun = !buffer.empty();
  Clock::time_point deadline = Clock::now() + (begun ? limits.headTime : firstWait);
  std::size_t searched = 0;
  while (true) {
    if (const auto end = HeadEnd(buffer, searched)) {
      head.assign(buffer, 0, end->first);
      buffer.erase(0, end->second);
      return HeadRead::Complete;
    }
    searched = buffer.empty() ? 0 : buffer.size() - 1;
    if (buffer.size() > limits.maxHeadBytes) return HeadRead::TooLarge;
    if (!WaitFor(fd, POLLIN, deadline)) return begun ? HeadRead::TimedOut : HeadRead::Closed;
    char chunk[4096];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (got <= 0) return HeadRead::Closed;
    buffer.append(chunk, static_cast<std::size_t>(got));
    if (!begun) {
      skipBlankLines();
      searched = 0;
      if (!buffer.empty()) {
        begun = true;
        deadline = Clock::now() + limits.headTime;
      }
    }
  }
}

bool Send(int fd, const HttpRequest* request, HttpResponse& response, bool keepAlive,
          std::chrono::milliseconds stall) {
  const std::uint64_t length = response.file.valid() ? response.fileSize : response.body.size();
  std::string head = "HTTP/1.1 ";
  head.append(std::to_string(response.status)).append(" ").append(ReasonPhrase(response.status));
  head += "\r\n";
  for (const auto& [name, value] : response.headers) {
    head.append(name).append(": ").append(value).append("\r\n");
  }
  head += "Content-Length: " + std::to_string(length) + "\r\n";
  head += "X-Content-Type-Options: nosniff\r\n";
  if (!keepAlive) head += "Connection: close\r\n";
  head += "\r\n";
  const bool withBody = request == nullptr || request->method != "HEAD";
  if (response.file.valid()) {
    return SendAll(fd, head, stall) &&
           (!withBody || SendFile(fd, response.file.get(), response.fileOffset, length, stall));
  }
  if (withBody) head += response.body;
  return SendAll(fd, head, stall);
}

}  // namespace

void HttpServer::Serve(Connection& connection) {
  const int fd = connection.socket.get();
  bool firstRequest = true;
  while (true) {
    std::string head;
    const HeadRead read = ReadHead(fd, connection.buffer, head, limits_,
                                   firstRequest ? limits_.headTime : limits_.idleTime);
    firstRequest = false;
    if (read == HeadRead::Closed) return;
    if (read != HeadRead::Complete) {
      HttpResponse refusal = read == HeadRead::TooLarge ? Plain(431, "Request head too large\n")
                                                        : Plain(408, "Request head too slow\n");
      Send(fd, nullptr, refusal, false, limits_.sendStall);
      return;
    }
    std::optional<HttpRequest> request = ParseRequestHead(head, limits_.maxHeaders);
    if (!request) {
      HttpResponse refusal = head.size() > limits_.maxHeadBytes
                                 ? Plain(431, "Request head too large\n")
                                 : Plain(400, "Bad request\n");
      Send(fd, nullptr, refusal, false, limits_.sendStall);
      return;
    }
    request->serverPort = port_;
    // A body is never read: the connection ends with this answer.
    const bool keepAlive =
        request->minorVersion == 1 && !AsksToClose(*request) && !HasBody(*request);
    HttpResponse response;
    if (request->method != "GET" && request->method != "HEAD") {
      response = Plain(405, "Only GET and HEAD\n");
      response.SetHeader("Allow", "GET, HEAD");
      Send(fd, &*request, response, false, limits_.sendStall);
      return;
    }
    response = handler_(*request);
    ApplyRange(*request, response);
    if (!Send(fd, &*request, response, keepAlive, limits_.sendStall) || !keepAlive) return;
  }
}

}  // namespace kestrine
