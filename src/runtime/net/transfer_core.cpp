#include "runtime/net/transfer_core.h"

#include <algorithm>

namespace kestrine {

namespace {

// How long the engine's thread sleeps in poll when nothing happens: new
// work and Stop wake it sooner, so this only bounds how long a dead engine
// would hold a thread.
constexpr std::chrono::milliseconds kIdlePoll{1000};

bool IsMultiplexedVersion(long version) {
  return version == CURL_HTTP_VERSION_2_0 || version == CURL_HTTP_VERSION_3;
}

}  // namespace

TransferCore::TransferCore() {
  CurlHandles::GlobalInit();
  multi_ = curl_multi_init();
  loop_ = std::thread([this] { Loop(); });
}

TransferCore::~TransferCore() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    closing_ = true;
    roomFreed_.notify_all();
  }
  curl_multi_wakeup(multi_);
  loop_.join();
  curl_multi_cleanup(multi_);
}

void TransferCore::SetLimits(int connections, int streams) {
  std::lock_guard lock(mutex_);
  connections_ = std::max(1, connections);
  streams_ = std::max(1, streams);
  limitsChanged_ = true;
  roomFreed_.notify_all();
}

int TransferCore::streams() const {
  std::lock_guard lock(mutex_);
  return streams_;
}

int TransferCore::RoomLocked(const Host& host) const {
  const int room = host.multiplexes ? connections_ * streams_ : connections_;
  return host.cap > 0 ? std::min(room, host.cap) : room;
}

void TransferCore::Throttle(const std::string& origin) {
  std::lock_guard lock(mutex_);
  Host& host = hosts_[origin];
  host.cap = std::max(1, RoomLocked(host) / 2);
}

bool TransferCore::TryStartLocked(Job& job, CURL* easy, const std::string& origin) {
  Host& host = hosts_[origin];
  if (host.inFlight >= RoomLocked(host)) return false;
  ++host.inFlight;
  job.easy_ = easy;
  job.origin_ = origin;
  job.added_ = false;
  job.completion_ = std::make_shared<Job::Completion>();
  job.paused = false;
  curl_easy_setopt(easy, CURLOPT_PRIVATE, &job);
  // A transfer waits for a connection being made to its host rather than
  // opening one more, so that it can share it.
  curl_easy_setopt(easy, CURLOPT_PIPEWAIT, streams_ > 1 ? 1L : 0L);
  toAdd_.push_back(&job);
  return true;
}

bool TransferCore::TryReserveLocked(const std::string& origin) {
  Host& host = hosts_[origin];
  if (host.inFlight >= RoomLocked(host)) return false;
  ++host.inFlight;
  return true;
}

bool TransferCore::Start(Job& job, CURL* easy, const std::string& origin) {
  std::unique_lock lock(mutex_);
  bool started = false;
  roomFreed_.wait(lock, [&] { return stopped_ || (started = TryStartLocked(job, easy, origin)); });
  if (!started) return false;
  const bool wake = polling_;
  lock.unlock();
  if (wake) curl_multi_wakeup(multi_);
  return true;
}

bool TransferCore::Reserve(const std::string& origin, CURLM* multi) {
  std::unique_lock lock(mutex_);
  bool reserved = false;
  roomFreed_.wait(lock, [&] { return stopped_ || (reserved = TryReserveLocked(origin)); });
  if (!reserved) return false;
  localMultis_.insert(multi);
  return true;
}

void TransferCore::Release(const std::string& origin, CURLM* multi) {
  std::lock_guard lock(mutex_);
  localMultis_.erase(multi);
  Host& host = hosts_[origin];
  host.inFlight = std::max(0, host.inFlight - 1);
  roomFreed_.notify_all();
}

std::optional<CURLcode> TransferCore::WaitFor(Job& job, std::chrono::milliseconds wait) {
  Job::Completion& completion = *job.completion_;
  std::unique_lock lock(completion.mutex);
  completion.ended.wait_for(lock, wait, [&completion] { return completion.result.has_value(); });
  return completion.result;
}

void TransferCore::Stop() {
  std::lock_guard lock(mutex_);
  if (stopped_) return;
  stopped_ = true;
  abortAll_ = true;
  roomFreed_.notify_all();
  for (CURLM* multi : localMultis_) curl_multi_wakeup(multi);
  curl_multi_wakeup(multi_);
}

bool TransferCore::IsStopped() const {
  std::lock_guard lock(mutex_);
  return stopped_;
}

bool TransferCore::Multiplexes(const std::string& origin) const {
  std::lock_guard lock(mutex_);
  const auto host = hosts_.find(origin);
  return host != hosts_.end() && host->second.multiplexes;
}

void TransferCore::ApplyLimitsLocked() {
  if (!limitsChanged_) return;
  limitsChanged_ = false;
  curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(connections_));
  curl_multi_setopt(multi_, CURLMOPT_MAX_CONCURRENT_STREAMS, static_cast<long>(streams_));
  curl_multi_setopt(multi_, CURLMOPT_PIPELINING,
                    streams_ > 1 ? static_cast<long>(CURLPIPE_MULTIPLEX) : 0L);
}

void TransferCore::EndLocked(Job& job, CURLcode result) {
  ended_.emplace_back(job.completion_, result);
  Host& host = hosts_[job.origin_];
  host.inFlight = std::max(0, host.inFlight - 1);
  roomFreed_.notify_all();
}

void TransferCore::AnnounceEnded() {
  std::vector<std::pair<std::shared_ptr<Job::Completion>, CURLcode>> ended;
  {
    std::lock_guard lock(mutex_);
    ended.swap(ended_);
  }
  for (auto& [completion, result] : ended) {
    {
      std::lock_guard lock(completion->mutex);
      completion->result = result;
    }
    completion->ended.notify_all();
  }
}

void TransferCore::AbortAllLocked() {
  for (Job* job : inFlight_) {
    curl_multi_remove_handle(multi_, job->easy_);
    EndLocked(*job, CURLE_ABORTED_BY_CALLBACK);
  }
  inFlight_.clear();
  for (Job* job : toAdd_) EndLocked(*job, CURLE_ABORTED_BY_CALLBACK);
  toAdd_.clear();
}

// New transfers join the multi handle and aborted ones leave it; both only
// on this thread, which alone touches the multi handle.
void TransferCore::AddOrAbortLocked() {
  ApplyLimitsLocked();
  if (abortAll_) {
    abortAll_ = false;
    AbortAllLocked();
  }
  for (Job* job : toAdd_) {
    if (curl_multi_add_handle(multi_, job->easy_) != CURLM_OK) {
      EndLocked(*job, CURLE_FAILED_INIT);
      continue;
    }
    job->added_ = true;
    inFlight_.push_back(job);
  }
  toAdd_.clear();
}

void TransferCore::CollectEnded() {
  struct Ended {
    Job* job;
    CURLcode result;
    bool multiplexed;
  };
  std::vector<Ended> ended;
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
    ended.push_back({job, result, IsMultiplexedVersion(version)});
  }
  if (ended.empty()) return;
  std::lock_guard lock(mutex_);
  for (const Ended& end : ended) {
    if (end.multiplexed && streams_ > 1) hosts_[end.job->origin_].multiplexes = true;
    EndLocked(*end.job, end.result);
  }
}

// Resumes the transfers that kept to their rate long enough; how long until
// the next of the others may go on.
std::chrono::milliseconds TransferCore::ResumePaused() {
  std::chrono::milliseconds next = kIdlePoll;
  for (Job* job : inFlight_) {
    if (!job->paused) continue;
    const std::chrono::milliseconds wait = job->ResumeIn();
    if (wait.count() <= 0) {
      job->paused = false;
      curl_easy_pause(job->easy_, CURLPAUSE_CONT);
    } else {
      next = std::min(next, wait);
    }
  }
  return next;
}

void TransferCore::Loop() {
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (closing_) break;
      AddOrAbortLocked();
    }
    AnnounceEnded();
    int running = 0;
    curl_multi_perform(multi_, &running);
    CollectEnded();
    AnnounceEnded();
    const std::chrono::milliseconds wait = ResumePaused();
    {
      std::lock_guard lock(mutex_);
      if (!toAdd_.empty() || abortAll_ || closing_) continue;
      polling_ = true;
    }
    curl_multi_poll(multi_, nullptr, 0, static_cast<int>(std::max<long long>(1, wait.count())),
                    nullptr);
    std::lock_guard lock(mutex_);
    polling_ = false;
  }
  {
    std::lock_guard lock(mutex_);
    AbortAllLocked();
  }
  AnnounceEnded();
}

}  // namespace kestrine
