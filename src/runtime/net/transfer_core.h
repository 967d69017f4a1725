#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "runtime/net/curl_handles.h"

namespace kestrine {

// The libcurl side of a run's TransferEngine: its transfers on one multi
// handle, driven by a thread of its own, so transfers to one host share its connections: over
// HTTP/2 many requests are in flight on each connection at once, and a round trip is paid once for
// all of them instead of once for each.
//
// The threads that want a transfer hand it over and wait for its end; the
// engine keeps each host to its connections (and, once the host has shown
// that it multiplexes, to that many streams on each), so a host that speaks
// only HTTP/1.1 never has more transfers in flight than connections and no
// transfer waits inside libcurl with its time-outs running. Plain http runs
// on the asking thread's own connection, within the same room per host.
// Every wait here ends on an event (room freed, a transfer ended, Stop),
// never on a clock.
class TransferCore {
 public:
  // A transfer as the engine drives it. Its callbacks run on the engine's
  // thread while it is in flight.
  class Job {
   public:
    virtual ~Job() = default;
    // How long a transfer that paused itself in its write callback (to keep
    // to a rate) must wait before it may go on; zero when it may now.
    virtual std::chrono::milliseconds ResumeIn() const = 0;
    // Set by the write callback when it paused the transfer.
    bool paused = false;

   private:
    friend class TransferCore;
    // How the transfer ended, for its owner: shared, so the engine can
    // wake the owner after letting go of every lock (a woken owner that
    // found a lock held would sleep again at once) while the owner may
    // already be done with the job.
    struct Completion {
      std::mutex mutex;
      std::condition_variable ended;
      std::optional<CURLcode> result;
    };
    CURL* easy_ = nullptr;
    std::string origin_;
    std::shared_ptr<Completion> completion_;
    bool added_ = false;
  };

  TransferCore();
  ~TransferCore();
  TransferCore(const TransferCore&) = delete;
  TransferCore& operator=(const TransferCore&) = delete;

  // At most `connections` to one host; up to `streams` transfers on each
  // when the host multiplexes (1: one transfer per connection).
  void SetLimits(int connections, int streams);
  int streams() const;

  // Waits for room on the host of `origin` ("https://host:port"), then puts
  // the configured transfer in flight. False, with nothing started, once
  // the engine is stopped.
  bool Start(Job& job, CURL* easy, const std::string& origin);
  // The same room on a host for a transfer the asking thread drives itself
  // on `multi`, which Stop wakes; Release gives both back.
  bool Reserve(const std::string& origin, CURLM* multi);
  void Release(const std::string& origin, CURLM* multi);
  // Waits at most `wait` for the transfer's end; its result once it ended.
  std::optional<CURLcode> WaitFor(Job& job, std::chrono::milliseconds wait);
  // The run stops: every transfer in flight ends (aborted), every wait for
  // room ends, and nothing new starts. Quick and never blocking.
  void Stop();
  bool IsStopped() const;
  // Whether transfers to this origin went over a multiplexed protocol.
  bool Multiplexes(const std::string& origin) const;
  // The host asked for fewer requests: it gets half as many at once as it
  // has had, at least one, for the rest of the run.
  void Throttle(const std::string& origin);

 private:
  struct Host {
    int inFlight = 0;
    bool multiplexes = false;
    int cap = 0;  // transfers at once it asked for by throttling; 0: none
  };

  bool TryStartLocked(Job& job, CURL* easy, const std::string& origin);
  bool TryReserveLocked(const std::string& origin);
  int RoomLocked(const Host& host) const;
  void Loop();
  void AddOrAbortLocked();
  // Every transfer in flight or waiting to join ends, aborted.
  void AbortAllLocked();
  void CollectEnded();
  std::chrono::milliseconds ResumePaused();
  void EndLocked(Job& job, CURLcode result);
  // Tells the owners of the transfers that ended; called with no lock held.
  void AnnounceEnded();
  void ApplyLimitsLocked();

  CURLM* multi_;
  mutable std::mutex mutex_;
  std::condition_variable roomFreed_;
  std::unordered_map<std::string, Host> hosts_;
  std::set<CURLM*> localMultis_;
  std::vector<Job*> toAdd_;
  std::vector<Job*> inFlight_;  // touched by the engine's thread only
  std::vector<std::pair<std::shared_ptr<Job::Completion>, CURLcode>> ended_;
  int connections_ = 5;
  int streams_ = 1;
  bool limitsChanged_ = true;
  bool stopped_ = false;
  bool abortAll_ = false;
  bool closing_ = false;
  // Whether the engine's thread sleeps in poll: only then does new work
  // need to wake it.
  bool polling_ = false;
  std::thread loop_;
};

}  // namespace kestrine
