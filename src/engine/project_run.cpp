// The run of a project: workers on the pool, their supervision, and the end
// of the run.
#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

#include "engine/download_task.h"
#include "engine/i_status_monitor.h"
#include "engine/monitor_mutex.h"
#include "engine/project.h"
#include "engine/reference_mender.h"
#include "engine/run_progress.h"
#include "engine/run_state.h"
#include "engine/string_table.h"
#include "runtime/allocator_tuning.h"
#include "runtime/http_client.h"
#include "runtime/string_utility.h"
#include "site/sitemap.h"

namespace kestrine {

namespace {

using Workers = std::vector<std::unique_ptr<DownloadTaskRunnable>>;

// Watches the workers until none runs, nothing they could take is pending
// and the site's rules are loaded (their sitemaps may add addresses). A
// worker ends by itself when nothing is pending, so this is what brings
// finished workers back while addresses keep coming. A finished worker
// waits in `idle` at most once and is handed over again only from there.
void Supervise(Project& project, const Workers& workers, const std::atomic<bool>& rulesLoading) {
  std::deque<std::size_t> idle;
  std::vector<bool> inIdle(workers.size(), false);
  while (true) {
    IRunnable* running = nullptr;
    for (std::size_t i = 0; i < workers.size(); ++i) {
      if (!project.pool().Join(workers[i].get(), 0)) {
        running = workers[i].get();
      } else if (!inIdle[i]) {
        idle.push_back(i);
        inIdle[i] = true;
      }
    }
    std::size_t pending = 0;
    if (project.MayTakeMore()) {
      const MonitorMutex mutex(project.monitor());
      const std::lock_guard lock(mutex);
      pending = project.queue().PendingCount();
    }
    for (; pending > 0 && !idle.empty(); --pending) {
      const std::size_t next = idle.front();
      idle.pop_front();
      inIdle[next] = false;
      project.pool().Execute(workers[next].get());
      running = workers[next].get();
    }
    if (running == nullptr && !rulesLoading.load()) return;
    // Back as soon as that worker ends, the last one included.
    if (running != nullptr) {
      project.pool().Join(running, Project::kJoinMilliseconds);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

}  // namespace

void Project::RunProject() {
  // 1. Nothing to do: say so and hand the Download view back.
  if (!queue_.HasPending()) {
    lastOutcome_ = RunOutcome::Finished;
    monitor_.SetStatusText(StringTable::Load(kIdsRunFinished));
    monitor_.OnRunEnded();
    runState_.SetButtonPhase(ButtonPhase::Ended);
    monitor_.EnableDownloadView();
    return;
  }
  runStarted_ = std::chrono::steady_clock::now();
  OpenSiteFolder(siteFolder_, false);
  // The site's robots.txt, once per project, before any page is scanned.
  std::atomic<bool> rulesLoading = true;
  std::thread siteRules = std::thread([this, &rulesLoading] {
    LoadRobots();
    rulesLoading = false;
  });
  if (options_.waitSeconds > 0) siteRules.join();
  // 2. Make the workers and hand them all to the pool, which runs as many
  //    at once as its core size.
  Workers workers;
  for (int i = 0; i < kWorkerCount; ++i) {
    auto worker = std::make_unique<DownloadTaskRunnable>();
    worker->SetProject(this);
    pool_.Execute(worker.get());
    workers.push_back(std::move(worker));
  }
  // 3. Supervise until no worker runs.
  Supervise(*this, workers, rulesLoading);
  if (siteRules.joinable()) siteRules.join();
  // 4. to 6. Report the outcome.
  FinishRun();
  // 7. The workers go with this scope; every one of them has finished.
}

void Project::FinishRun() {
  const bool canceled = monitor_.IsCancelRequested() != 0;
  const bool paused = !canceled && monitor_.IsPauseRequested() != 0;
  lastOutcome_ = canceled ? RunOutcome::Canceled
                 : paused ? RunOutcome::Paused
                          : RunOutcome::Finished;
  const std::u16string status = StringTable::Load(canceled ? kIdsCanceled
                                                  : paused ? kIdsPaused
                                                           : kIdsRunFinished);
  // A paused copy is a copy too: the window offers it again after a restart.
  NoteCopy();
  monitor_.SetStatusText(status);
  monitor_.OnRunEnded();
  runState_.SetButtonPhase(paused ? ButtonPhase::Paused : ButtonPhase::Ended);
  if (!paused) monitor_.EnableDownloadView();
  if (!paused) MendReferences();
  if (!paused) LogRefusals();
  WriteDownloadLog(canceled ? u"Canceled" : paused ? u"Paused" : u"End");
  CloseDownloadLog();
  if (!paused) {
    journal_.RecordRunEnded();
    queue_.SetPlacedHook(nullptr);
    queue_.ClearProject();
    {
      std::lock_guard lock(documentsMutex_);
      documents_.Clear();
    }
    AllocatorTuning::ReleaseFreeMemory();
  }
  // The notice says how it went, and warns when nothing could be fetched.
  if (!canceled) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - runStarted_).count();
    const bool allFailed = totals_.succeeded == 0 && totals_.failed > 0;
    runState_.ShowEndNotice(status + u"\n" + StringUtility::FromUtf8(EndSummary(*this, seconds)),
                            allFailed ? MessageIcon::Warning : MessageIcon::Information);
  }
  opener_.OpenFolder(downloadFolder_);
}

// robots.txt is kept in memory up to this size and read as far as it
// arrived: a crawler should read at least 500 KiB of it.
constexpr std::size_t kMaxRobotsBytes = 512 * 1024;

// What the site says of itself before any page is scanned, once per
// project: its robots.txt and the sitemaps it names (or /sitemap.xml).
// Beside the start page, on a connection the downloads then share; with a
// wait between requests, before them.
void Project::LoadRobots() {
  if (robotsLoaded_ || admission_ == nullptr) {
    siteRules_.Open();
    return;
  }
  robotsLoaded_ = true;
  std::vector<std::string> sitemaps;
  if (options_.robots || options_.sitemaps) {
    HttpClient client;
    client.SetTimeout(timeOutSeconds_ * 1000);
    client.SetRequestOptions(RequestOptionsFor(options_, 1));
    client.SinkToMemory(kMaxRobotsBytes);
    client.Navigate2(SiteAddress(u"/robots.txt"), 0, 0);
    const int code = client.GetReturnCode();
    if (code < 400) {
      if (options_.robots) {
        const std::string agent =
            options_.userAgent.empty() ? DefaultUserAgent() : options_.userAgent;
        admission_->SetRobots(RobotsRules::Parse(client.GetMemoryBody(), agent));
      }
      sitemaps = RobotsRules::SitemapsIn(client.GetMemoryBody());
    } else if (options_.robots && code >= 500 && code < 600 &&
               client.GetFailureReason().rfind("HTTP ", 0) == 0) {
      // A server error leaves it open what the site allows: nothing of it
      // is taken this run.
      admission_->SetRobots(RobotsRules::Parse("User-agent: *\nDisallow: /\n", "*"));
      WriteDownloadLog(u"robots.txt answered " +
                       StringUtility::FromUtf8(client.GetFailureReason()) +
                       u": the site's pages are not taken this run");
    }
    // One that cannot be fetched or read allows everything.
  }
  siteRules_.Open();
  if (options_.sitemaps) LoadSitemaps(std::move(sitemaps));
}

std::u16string Project::SiteAddress(std::u16string_view path) const {
  const std::u16string scheme = WebSchemeOf(queue_.sitePrefix());
  return (scheme.empty() ? std::u16string(u"http") : scheme) + u"://" + queue_.siteHost() +
         std::u16string(path);
}

// Every address inside the site that the sitemaps name is queued, as if the
// start page linked it; an index of sitemaps is followed to its sitemaps.
void Project::LoadSitemaps(std::vector<std::string> sitemaps) {
  constexpr std::size_t kMaxSitemaps = 50;
  constexpr std::size_t kMaxSitemapBytes = 50u * 1024 * 1024;
  if (sitemaps.empty()) sitemaps.push_back(StringUtility::ToUtf8(SiteAddress(u"/sitemap.xml")));
  const int knownBefore = queue_.KnownCount();
  for (std::size_t i = 0; i < sitemaps.size() && i < kMaxSitemaps && !IsStopRequested(); ++i) {
    const std::u16string address = StringUtility::FromUtf8(sitemaps[i]);
    if (!StringUtility::EqualsIgnoreCaseAscii(SiteHostOf(address), queue_.siteHost())) continue;
    HttpClient client;
    client.SetTimeout(timeOutSeconds_ * 1000);
    client.SetRequestOptions(RequestOptionsFor(options_, 1));
    client.SinkToMemory(kMaxSitemapBytes);
    if (!client.Navigate2(address, 0, 0)) continue;
    const Sitemap sitemap = Sitemap::Read(client.GetMemoryBody());
    // The site's scripts may read it too (to know its pages): it is kept.
    if (!sitemap.locations.empty() && IsUnderSitePrefix(address, queue_.sitePrefix())) {
      AddFoundAddressAt(address, 1);
    }
    for (const std::string& location : sitemap.locations) {
      if (sitemap.isIndex) {
        sitemaps.push_back(location);
        continue;
      }
      const std::u16string page = StringUtility::FromUtf8(location);
      if (IsUnderSitePrefix(page, queue_.sitePrefix())) AddFoundAddressAt(page, 1);
    }
  }
  sitemapAddresses_ = std::max(0, queue_.KnownCount() - knownBefore);
}

void Project::LogRefusals() {
  const std::string limit = LimitReached();
  if (!limit.empty()) WriteDownloadLog(StringUtility::FromUtf8("Stopped: " + limit));
  for (const std::string& line : AddressLines()) WriteDownloadLog(StringUtility::FromUtf8(line));
}

std::vector<std::string> Project::AddressLines() const {
  std::vector<std::string> lines;
  for (const std::string& summary : {SitemapSummary(), NamedSummary()}) {
    if (!summary.empty()) lines.push_back(summary);
  }
  if (admission_ == nullptr) return lines;
  for (int reason = 1; reason < static_cast<int>(Refusal::Count); ++reason) {
    const int count = admission_->Refused(static_cast<Refusal>(reason));
    if (count > 0) lines.push_back(AdmissionRules::Describe(static_cast<Refusal>(reason), count));
  }
  return lines;
}

void Project::NoteCopy() {
  Copy copy{siteFolder_, {}, false};
  if (const QueueEntry* start = queue_.EntryByNumber(0)) {
    copy.startAddress = std::u16string(start->address);
    copy.startStored = start->outcome == EntryOutcome::Stored ||
                       (!start->localFile.empty() && siteFiles_.HoldsFile(start->localFile));
  }
  std::lock_guard lock(lastCopyMutex_);
  lastCopy_ = std::move(copy);
}

Project::Copy Project::LastCopy() const {
  std::lock_guard lock(lastCopyMutex_);
  return lastCopy_;
}

void Project::MendReferences() {
  // Every worker has ended: the entries and documents are read without
  // locks.
  std::lock_guard lock(documentsMutex_);
  ReferenceMender(queue_, documents_, siteFiles_, journal_).Mend();
}

}  // namespace kestrine
