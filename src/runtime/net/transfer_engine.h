#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "runtime/net/curl_handles.h"

namespace kestrine {

// Every transfer of the process runs on one libcurl multi handle, driven by
// a thread of its own, so transfers to one host share its connections: over
// HTTP/2 many requests are in flight on each connection at once, and a round
// trip is paid once for all of them instead of once for each.
//
// The threads that want a transfer hand it over and wait for its end; the
// engine keeps each host to its connections (and, once the host has shown
// that it multiplexes, to that many streams on each), so a host that speaks
// only HTTP/1.1 never has more transfers in flight than connections and no
// transfer waits inside libcurl with its time-outs running.
class TransferEngine {
 public:
  // A transfer as the engine drives it. Its callbacks run on the engine's
  // thread while it is in flight.
  class Job {
   public:
    virtual ~Job() = default;
    // Whether a transfer that paused itself in its write callback (to keep
    // to a rate) may go on now.
    virtual bool MayResume() = 0;
    // Set by the write callback when it paused the transfer.
    bool paused = false;

   private:
    friend class TransferEngine;
    CURL* easy_ = nullptr;
    std::string origin_;
    std::condition_variable ended_;
    bool added_ = false;
    bool abort_ = false;
    std::optional<CURLcode> result_;
  };

  static TransferEngine& Instance();

  // At most `connections` to one host; up to `streams` transfers on each
  // when the host multiplexes (1: one transfer per connection).
  void SetLimits(int connections, int streams);
  int streams() const;

  // Waits for room on the host of `origin` ("https://host:port"), then puts
  // the configured transfer in flight. False, with nothing started, when
  // `shouldStop` answered true meanwhile (asked every 100 ms).
  template <typename StopCheck>
  bool Start(Job& job, CURL* easy, const std::string& origin, StopCheck shouldStop);
  // The same room on a host for a transfer the asking thread drives itself
  // (plain http, which never multiplexes); Release gives it back.
  template <typename StopCheck>
  bool Reserve(const std::string& origin, StopCheck shouldStop);
  void Release(const std::string& origin);
  // Waits at most `wait` for the transfer's end; its result once it ended.
  std::optional<CURLcode> WaitFor(Job& job, std::chrono::milliseconds wait);
  // Ends the transfer early and returns once the engine let go of it.
  void Abort(Job& job);
  // Whether transfers to this origin went over a multiplexed protocol.
  bool Multiplexes(const std::string& origin) const;
  // The host asked for fewer requests: it gets half as many at once as it
  // has had, at least one, until ResetThrottles.
  void Throttle(const std::string& origin);
  // A new run begins with every host at its full room.
  void ResetThrottles();

  ~TransferEngine();
  TransferEngine(const TransferEngine&) = delete;
  TransferEngine& operator=(const TransferEngine&) = delete;

 private:
  struct Host {
    int inFlight = 0;
    bool multiplexes = false;
    int cap = 0;  // transfers at once it asked for by throttling; 0: none
  };

  TransferEngine();
  bool TryStartLocked(Job& job, CURL* easy, const std::string& origin);
  bool TryReserveLocked(const std::string& origin);
  template <typename Try, typename StopCheck>
  bool WaitForRoom(std::unique_lock<std::mutex>& lock, Try tryNow, StopCheck shouldStop);
  int RoomLocked(const Host& host) const;
  void Loop();
  void AddOrAbortLocked();
  void CollectEnded();
  void ResumePaused();
  void EndLocked(Job& job, CURLcode result);
  void ApplyLimitsLocked();

  CURLM* multi_;
  mutable std::mutex mutex_;
  std::condition_variable roomFreed_;
  std::unordered_map<std::string, Host> hosts_;
  std::vector<Job*> toAdd_;
  std::vector<Job*> toAbort_;
  std::vector<Job*> inFlight_;  // touched by the engine's thread only
  int connections_ = 5;
  int streams_ = 1;
  bool limitsChanged_ = true;
  bool stopping_ = false;
  // Whether the engine's thread sleeps in poll: only then does new work
  // need to wake it.
  bool polling_ = false;
  std::thread loop_;
};

template <typename Try, typename StopCheck>
bool TransferEngine::WaitForRoom(std::unique_lock<std::mutex>& lock, Try tryNow,
                                 StopCheck shouldStop) {
  while (!tryNow()) {
    roomFreed_.wait_for(lock, std::chrono::milliseconds(100));
    if (tryNow()) break;
    lock.unlock();
    const bool stop = shouldStop();
    lock.lock();
    if (stop) return false;
  }
  return true;
}

template <typename StopCheck>
bool TransferEngine::Reserve(const std::string& origin, StopCheck shouldStop) {
  std::unique_lock lock(mutex_);
  return WaitForRoom(
      lock, [&] { return TryReserveLocked(origin); }, shouldStop);
}

template <typename StopCheck>
bool TransferEngine::Start(Job& job, CURL* easy, const std::string& origin, StopCheck shouldStop) {
  std::unique_lock lock(mutex_);
  if (!WaitForRoom(
          lock, [&] { return TryStartLocked(job, easy, origin); }, shouldStop)) {
    return false;
  }
  const bool wake = polling_;
  lock.unlock();
  if (wake) curl_multi_wakeup(multi_);
  return true;
}

}  // namespace kestrine
