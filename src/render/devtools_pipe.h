#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "runtime/result.h"

namespace kestrine {

// The DevTools protocol over a pipe: JSON messages ended by a NUL byte.
// Commands wait for their answer up to a deadline; events go to the
// listener of their session, on the pipe's reading thread. A message
// larger than the bound, or the pipe's end, ends every wait.
class DevToolsPipe {
 public:
  using Clock = std::chrono::steady_clock;
  using Listener = std::function<void(const std::string& method, const nlohmann::json& params)>;
  static constexpr std::size_t kMaxMessageBytes = 256u * 1024 * 1024;

  // Reads answers from `answers` and writes commands to `commands`; both
  // stay owned by the caller and open while this lives.
  DevToolsPipe(int commands, int answers);
  ~DevToolsPipe();
  DevToolsPipe(const DevToolsPipe&) = delete;
  DevToolsPipe& operator=(const DevToolsPipe&) = delete;

  Result<nlohmann::json> Call(const std::string& method, nlohmann::json params,
                              const std::string& session, Clock::time_point deadline);
  // Sends without waiting for the answer, which is dropped: what a
  // listener may do (a call from it would wait for its own thread).
  void Post(const std::string& method, nlohmann::json params, const std::string& session);
  void Listen(const std::string& session, Listener listener);
  void Forget(const std::string& session);
  bool alive() const;
  // Stops reading: every waiting call ends (the reading thread is told by
  // the pipe's end, which the caller brings about).
  void Close();

 private:
  void Read();
  void Dispatch(const std::string& message);
  // Writes a command under the lock; its id, or nothing when the pipe broke.
  std::optional<long> SendLocked(const std::string& method, nlohmann::json params,
                                 const std::string& session);

  int commands_;
  int answers_;
  mutable std::mutex mutex_;
  std::condition_variable answered_;
  std::map<long, nlohmann::json> answersById_;
  std::map<std::string, Listener> listeners_;
  std::set<long> unanswered_;  // posted, or given up on: their answers are dropped
  long nextId_ = 1;
  bool alive_ = true;
  std::thread reader_;
};

}  // namespace kestrine
