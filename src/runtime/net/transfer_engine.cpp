#include "runtime/net/transfer_engine.h"

#include <algorithm>

namespace kestrine {

namespace {

// How long the engine's thread sleeps when nothing happens; a transfer
// paused for its rate is looked at more often.
constexpr int kIdlePollMilliseconds = 1000;
constexpr int kPausedPollMilliseconds = 10;

bool IsMultiplexedVersion(long version) {
  return version == CURL_HTTP_VERSION_2_0 || version == CURL_HTTP_VERSION_3;
}

}  // namespace

TransferEngine& TransferEngine::Instance() {
  static TransferEngine engine;
  return engine;
}

TransferEngine::TransferEngine() {
  CurlHandles::GlobalInit();
  multi_ = curl_multi_init();
  loop_ = std::thread([this] { Loop(); });
}

TransferEngine::~TransferEngine() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  curl_multi_wakeup(multi_);
  loop_.join();
  curl_multi_cleanup(multi_);
}

void TransferEngine::SetLimits(int connections, int streams) {
  std::lock_guard lock(mutex_);
  connections_ = std::max(1, connections);
  streams_ = std::max(1, streams);
  limitsChanged_ = true;
  roomFreed_.notify_all();
}

int TransferEngine::streams() const {
  std::lock_guard lock(mutex_);
  return streams_;
}

int TransferEngine::RoomLocked(const Host& host) const {
  const int room = host.multiplexes ? connections_ * streams_ : connections_;
  return host.cap > 0 ? std::min(room, host.cap) : room;
}

void TransferEngine::Throttle(const std::string& origin) {
  std::lock_guard lock(mutex_);
  Host& host = hosts_[origin];
  host.cap = std::max(1, RoomLocked(host) / 2);
}

void TransferEngine::ResetThrottles() {
  std::lock_guard lock(mutex_);
  for (auto& [origin, host] : hosts_) host.cap = 0;
  roomFreed_.notify_all();
}

bool TransferEngine::TryStartLocked(Job& job, CURL* easy, const std::string& origin) {
  Host& host = hosts_[origin];
  if (host.inFlight >= RoomLocked(host)) return false;
  ++host.inFlight;
  job.easy_ = easy;
  job.origin_ = origin;
  job.added_ = false;
  job.abort_ = false;
  job.result_.reset();
  job.paused = false;
  curl_easy_setopt(easy, CURLOPT_PRIVATE, &job);
  // A transfer waits for a connection being made to its host rather than
  // opening one more, so that it can share it.
  curl_easy_setopt(easy, CURLOPT_PIPEWAIT, streams_ > 1 ? 1L : 0L);
  toAdd_.push_back(&job);
  return true;
}

bool TransferEngine::TryReserveLocked(const std::string& origin) {
  Host& host = hosts_[origin];
  if (host.inFlight >= RoomLocked(host)) return false;
  ++host.inFlight;
  return true;
}

void TransferEngine::Release(const std::string& origin) {
  std::lock_guard lock(mutex_);
  Host& host = hosts_[origin];
  host.inFlight = std::max(0, host.inFlight - 1);
  roomFreed_.notify_all();
}

std::optional<CURLcode> TransferEngine::WaitFor(Job& job, std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  job.ended_.wait_for(lock, wait, [&job] { return job.result_.has_value(); });
  return job.result_;
}

void TransferEngine::Abort(Job& job) {
  std::unique_lock lock(mutex_);
  if (job.result_) return;
  job.abort_ = true;
  toAbort_.push_back(&job);
  if (polling_) curl_multi_wakeup(multi_);
  job.ended_.wait(lock, [&job] { return job.result_.has_value(); });
}

bool TransferEngine::Multiplexes(const std::string& origin) const {
  std::lock_guard lock(mutex_);
  const auto host = hosts_.find(origin);
  return host != hosts_.end() && host->second.multiplexes;
}

void TransferEngine::ApplyLimitsLocked() {
  if (!limitsChanged_) return;
  limitsChanged_ = false;
  curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(connections_));
  curl_multi_setopt(multi_, CURLMOPT_MAX_CONCURRENT_STREAMS, static_cast<long>(streams_));
  curl_multi_setopt(multi_, CURLMOPT_PIPELINING,
                    streams_ > 1 ? static_cast<long>(CURLPIPE_MULTIPLEX) : 0L);
}

void TransferEngine::EndLocked(Job& job, CURLcode result) {
  job.result_ = result;
  Host& host = hosts_[job.origin_];
  host.inFlight = std::max(0, host.inFlight - 1);
  roomFreed_.notify_all();
  job.ended_.notify_all();
}

// New transfers join the multi handle and aborted ones leave it; both only
// on this thread, which alone touches the multi handle.
void TransferEngine::AddOrAbortLocked() {
  ApplyLimitsLocked();
  for (Job* job : toAbort_) {
    if (job->result_) continue;
    if (job->added_) {
      curl_multi_remove_handle(multi_, job->easy_);
      std::erase(inFlight_, job);
    }
    EndLocked(*job, CURLE_ABORTED_BY_CALLBACK);
  }
  toAbort_.clear();
  for (Job* job : toAdd_) {
    if (job->abort_) continue;
    if (curl_multi_add_handle(multi_, job->easy_) != CURLM_OK) {
      EndLocked(*job, CURLE_FAILED_INIT);
      continue;
    }
    job->added_ = true;
    inFlight_.push_back(job);
  }
  toAdd_.clear();
}

void TransferEngine::CollectEnded() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    CURL* easy = message->easy_handle;
    const CURLcode result = message->data.result;
    Job* job = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, reinterpret_cast<char**>(&job));
    long version = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_VERSION, &version);
    curl_multi_remove_handle(multi_, easy);
    if (job == nullptr) continue;
    std::erase(inFlight_, job);
    std::lock_guard lock(mutex_);
    if (IsMultiplexedVersion(version) && streams_ > 1) hosts_[job->origin_].multiplexes = true;
    EndLocked(*job, result);
  }
}

void TransferEngine::ResumePaused() {
  for (Job* job : inFlight_) {
    if (job->paused && job->MayResume()) {
      job->paused = false;
      curl_easy_pause(job->easy_, CURLPAUSE_CONT);
    }
  }
}

void TransferEngine::Loop() {
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
      AddOrAbortLocked();
    }
    int running = 0;
    curl_multi_perform(multi_, &running);
    CollectEnded();
    ResumePaused();
    const bool anyPaused =
        std::any_of(inFlight_.begin(), inFlight_.end(), [](const Job* job) { return job->paused; });
    {
      std::lock_guard lock(mutex_);
      if (!toAdd_.empty() || !toAbort_.empty() || stopping_) continue;
      polling_ = true;
    }
    curl_multi_poll(multi_, nullptr, 0, anyPaused ? kPausedPollMilliseconds : kIdlePollMilliseconds,
                    nullptr);
    std::lock_guard lock(mutex_);
    polling_ = false;
  }
  std::lock_guard lock(mutex_);
  for (Job* job : inFlight_) {
    curl_multi_remove_handle(multi_, job->easy_);
    EndLocked(*job, CURLE_ABORTED_BY_CALLBACK);
  }
  inFlight_.clear();
}

}  // namespace kestrine
