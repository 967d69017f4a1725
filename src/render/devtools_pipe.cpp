#include "render/devtools_pipe.h"

#include <unistd.h>

#include <cerrno>

namespace kestrine {

DevToolsPipe::DevToolsPipe(int commands, int answers)
    : commands_(commands), answers_(answers), reader_([this] { Read(); }) {}

DevToolsPipe::~DevToolsPipe() {
  Close();
  if (reader_.joinable()) reader_.join();
}

void DevToolsPipe::Close() {
  std::lock_guard lock(mutex_);
  alive_ = false;
  answered_.notify_all();
}

bool DevToolsPipe::alive() const {
  std::lock_guard lock(mutex_);
  return alive_;
}

void DevToolsPipe::Listen(const std::string& session, Listener listener) {
  std::lock_guard lock(mutex_);
  listeners_[session] = std::move(listener);
}

void DevToolsPipe::Forget(const std::string& session) {
  std::lock_guard lock(mutex_);
  listeners_.erase(session);
}

std::optional<long> DevToolsPipe::SendLocked(const std::string& method, nlohmann::json params,
                                             const std::string& session) {
  if (!alive_) return std::nullopt;
  const long id = nextId_++;
  nlohmann::json command = {{"id", id}, {"method", method}, {"params", std::move(params)}};
  if (!session.empty()) command["sessionId"] = session;
  std::string message = command.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  message.push_back('\0');
  // Written whole under the lock: messages of two threads never mix.
  std::string_view left = message;
  while (!left.empty()) {
    const ssize_t written = ::write(commands_, left.data(), left.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      alive_ = false;
      answered_.notify_all();
      return std::nullopt;
    }
    left.remove_prefix(static_cast<std::size_t>(written));
  }
  return id;
}

void DevToolsPipe::Post(const std::string& method, nlohmann::json params,
                        const std::string& session) {
  std::lock_guard lock(mutex_);
  if (const auto id = SendLocked(method, std::move(params), session)) unanswered_.insert(*id);
}

Result<nlohmann::json> DevToolsPipe::Call(const std::string& method, nlohmann::json params,
                                          const std::string& session, Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  const std::optional<long> id = SendLocked(method, std::move(params), session);
  if (!id) return Error{ErrorKind::Io, "the browser ended"};
  answered_.wait_until(lock, deadline, [&] { return !alive_ || answersById_.count(*id) > 0; });
  const auto found = answersById_.find(*id);
  if (found == answersById_.end()) {
    unanswered_.insert(*id);
    return Error{ErrorKind::Io, alive_ ? method + " took too long" : "the browser ended"};
  }
  nlohmann::json answer = std::move(found->second);
  answersById_.erase(found);
  if (answer.contains("error")) {
    return Error{ErrorKind::Refused,
                 method + ": " + answer["error"].value("message", std::string("refused"))};
  }
  return answer.value("result", nlohmann::json::object());
}

void DevToolsPipe::Read() {
  std::string pending;
  char piece[64 * 1024];
  while (true) {
    const ssize_t got = ::read(answers_, piece, sizeof piece);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    pending.append(piece, static_cast<std::size_t>(got));
    std::size_t end = 0;
    std::size_t from = 0;
    while ((end = pending.find('\0', from)) != std::string::npos) {
      Dispatch(pending.substr(from, end - from));
      from = end + 1;
    }
    pending.erase(0, from);
    if (pending.size() > kMaxMessageBytes) break;
  }
  Close();
}

void DevToolsPipe::Dispatch(const std::string& message) {
  nlohmann::json parsed = nlohmann::json::parse(message, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) return;
  if (parsed.contains("id")) {
    std::lock_guard lock(mutex_);
    const long id = parsed.value("id", 0L);
    if (unanswered_.erase(id) > 0) return;
    answersById_[id] = std::move(parsed);
    answered_.notify_all();
    return;
  }
  Listener listener;
  {
    std::lock_guard lock(mutex_);
    const auto found = listeners_.find(parsed.value("sessionId", std::string()));
    if (found == listeners_.end()) return;
    listener = found->second;
  }
  listener(parsed.value("method", std::string()), parsed.value("params", nlohmann::json::object()));
}

}  // namespace kestrine
