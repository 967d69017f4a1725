#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "config/download_options.h"
#include "engine/queue/address_queue.h"
#include "engine/queue/admission_rules.h"
#include "engine/journal/document_records.h"
#include "engine/journal/download_log.h"
#include "engine/run/failure_tally.h"
#include "engine/journal/project_journal.h"
#include "engine/run/run_limits.h"
#include "engine/run/run_supervisor.h"
#include "engine/run/site_rules_gate.h"
#include "engine/run/worker_activity.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/fs/folder_lock.h"
#include "runtime/net/http_client.h"
#include "runtime/threads/thread_pool.h"
#include "site/rewrite/scan_project.h"

namespace kestrine {

class IStatusMonitor;
class IQueueList;
class IRunState;
class IFolderOpener;

// The client options a download of a run uses, with the rate limit shared
// out over `workers` transfers at once.
HttpClient::RequestOptions RequestOptionsFor(const DownloadOptions& options, int workers);

// Counts of one project's ended downloads, for front ends that sum up a run.
struct TransferTotals {
  std::atomic<int> succeeded{0};
  std::atomic<int> failed{0};
  std::atomic<std::int64_t> bytes{0};
  void Reset() {
    succeeded = 0;
    failed = 0;
    bytes = 0;
  }
};

// The state of one site download and its runs: the address queue, the worker
// pool, and the surfaces through which it reaches the user. Owned by the
// Queue page (or the headless front end); reaches windows only through the
// surfaces.
class Project : public IScanProject {
 public:
  // Runs of a worker handed to the pool: as many as transfers may ever be
  // in flight at once (15 connections with up to 17 streams each, say).
  static constexpr int kWorkerCount = 256;
  static constexpr int kJoinMilliseconds = 500;

  Project(IStatusMonitor& monitor, IQueueList& list, IRunState& runState, IFolderOpener& opener);
  ~Project();
  Project(const Project&) = delete;
  Project& operator=(const Project&) = delete;

  AddressQueue& queue() { return queue_; }
  IStatusMonitor& monitor() { return monitor_; }
  IQueueList& list() { return list_; }
  IRunState& runState() { return runState_; }
  ThreadPool& pool() { return pool_; }
  // The worker count the user chose (1 to 15): connections to a host, and
  // the downloads at once until a host shows that it multiplexes; then up
  // to max-streams on each connection. With a wait between requests, one
  // download at a time.
  void SetWorkers(int workers);
  // A download went over a multiplexed connection (HTTP/2): more go at once.
  void NoteMultiplexed();
  TransferTotals& totals() { return totals_; }
  // The time-out of this run, in seconds, as the settings gave it when the
  // run (or its continuation) started.
  int timeOutSeconds() const { return timeOutSeconds_; }
  // A download failed for this reason ("HTTP 404"), for the end notice.
  void NoteFailure(const std::u16string& reason);
  // The `count` most common reasons of this run's failures, with their
  // numbers, most common first.
  std::vector<std::pair<std::string, int>> MostCommonFailures(std::size_t count) const;
  // Addresses the limits and rules refused this run.
  int RefusedCount() const;

  FoundAddress AddFoundAddress(const std::u16string& address) override;
  // An address found in a document at `depth` - 1 links from the start,
  // whose own chain of files in a row is `namerChain` (0 for a page).
  FoundAddress AddFoundAddressAt(const std::u16string& address, int depth, int namerChain = 0);
  // The same for an address a script names; counted apart.
  FoundAddress AddNamedAddressAt(const std::u16string& address, int depth, int namerChain);
  // "took 85 addresses named in scripts", or empty when they named none.
  std::string NamedSummary() const;
  // A cancel or a pause: scans and transfers stop.
  bool IsStopRequested() override;
  // Whether workers may take another entry: no stop, and no limit reached.
  bool MayTakeMore();
  // Whether a found address may still be queued: the same, and room left
  // under the file limit.
  bool MayQueueMore();
  // A file named more than FoundNames::kMaxNames addresses; the rest were
  // not read.
  void NoteNamesCapped() { ++namesCapped_; }
  // Addresses a file named that were not handed over: the file limit was
  // reached.
  void NoteBeyondFileLimit(int count) { beyondFileLimit_ += count; }
  // A download was tried again `retries` times.
  void NoteRetried(int retries) {
    ++retriedFiles_;
    retries_ += retries;
  }
  // "retried 3 files, 5 times in all", or empty when none was.
  std::string RetrySummary() const;
  // The next pending entry for a worker. While nothing is pending but other
  // downloads still run (and may find more), the worker waits for them
  // rather than ending, so the run keeps its workers busy without the
  // supervisor having to hand them back. nullptr once there is nothing more.
  QueueEntry* TakeNextPendingOrWait();
  // A worker's download of its entry has ended.
  void DownloadEnded();

  // Counts a stored file against the limits of the options; the first limit
  // reached ends the run, cleanly, once the transfers under way are done.
  void NoteStored(std::int64_t bytes);
  // "quota of 100 MB reached", or empty while no limit was reached.
  std::string LimitReached() const;
  // "took 1,204 addresses from the sitemap", or empty when it gave none.
  std::string SitemapSummary() const;
  // "skipped 400,000 addresses of sitemaps beyond their bounds (...)".
  std::string SitemapBeyondSummary() const;
  // What the run took from sitemaps and scripts and what the rules refused,
  // a line each, as the log and the terminal's summary give them.
  std::vector<std::string> AddressLines() const;
  // The admission rules of the current project (their refusal counts), or
  // nullptr before the first start.
  const AdmissionRules* admission() const { return admission_.get(); }

  ProjectJournal& journal() { return journal_; }
  // Rebuilds the project recorded in a site folder's journal, in that
  // folder wherever it lies now. With `update` every stored file is asked
  // for again, conditionally. False when the folder holds no journal.
  // When another run holds the folder, nothing is written and the run is
  // refused (see LastOutcome).
  bool RestoreFromJournal(const std::u16string& siteFolder, bool update);
  // Runs a restored project: what was pending or in flight is fetched.
  void ResumeProject();
  // What an update found.
  struct UpdateCounts {
    std::atomic<int> unchanged{0};
    std::atomic<int> changed{0};
    std::atomic<int> added{0};
    std::atomic<int> gone{0};
  };
  UpdateCounts& updateCounts() { return updateCounts_; }
  bool IsUpdating() const { return updating_; }
  // The validators a stored copy had, when an update asks for it again.
  struct Validators {
    std::string etag;
    std::string lastModified;
  };
  const Validators* ValidatorsOf(std::int32_t number) const;

  // Options beyond the settings record, read by every download of a run.
  void SetOptions(DownloadOptions options);
  const DownloadOptions& options() const { return options_; }

  // A stored page or style sheet and the entries it refers to, so that the
  // references to what was never stored can be mended when the run ends.
  using DocumentKind = DocumentRecords::Kind;
  void RecordDocument(std::int32_t number, DocumentKind kind, std::u16string charset,
                      std::vector<std::int32_t> referenced);
  // The full path of an entry's local file in a site folder.
  static std::u16string LocalPathOf(const QueueEntry& entry, const std::u16string& siteFolder);
  // The site folder of the project: named after the site under the
  // download folder, or where the user keeps a copy that is continued.
  const std::u16string& siteFolder() const { return siteFolder_; }
  // The site folder as the downloads write into it: never through a link.
  const ConfinedFolder& siteFiles() const { return siteFiles_; }

  // A new project begins with its start address; further addresses join it
  // before it starts.
  void AddStartAddress(const std::u16string& address) { queue_.AddAddress(address, 1); }
  void AddAddress(const std::u16string& address) { queue_.AddAddress(address, 0); }
  void SetMode(DownloadMode mode) { queue_.set_mode(mode); }
  // The list and the queue emptied: Clear.
  void ClearProject();
  // Continues (or with `update` brings up to date) the copy recorded in a
  // site folder's journal; false when the folder holds none.
  bool ContinueCopy(const std::u16string& siteFolder, bool update);
  // Downloads under way on the pool.
  int ActiveDownloads() { return pool_.GetActiveCount(); }
  // Starts a run over a new project: buttons, "Begin" in the log, an empty
  // list, cleared requests, then the run thread. An error when another run
  // holds the copy: the run was refused (said on the surfaces already).
  Status StartProject();
  // Runs the entries a paused run left pending; nothing when none are.
  void ContinueProject();
  // Waits until the run thread (if any) has ended.
  void WaitForRun() { supervisor_.Wait(); }
  // True from the start of a run thread until it has taken its last step. A
  // window thread waits for this while it goes on delivering the run's
  // window changes, never in WaitForRun.
  bool IsRunActive() const { return supervisor_.IsActive(); }
  RunOutcome LastOutcome() const { return supervisor_.LastOutcome(); }

  // The run's side of the project, as the supervisor drives it.
  IFolderOpener& opener() { return opener_; }
  // The time-out of the run about to start, from the settings.
  void TakeTimeOut(int seconds);
  // What the site says of itself, once per project: its robots.txt and the
  // sitemaps it names (or /sitemap.xml). Scanners wait for it.
  void LoadSiteRules();
  // Notes where the copy lies and whether its start page is in it.
  void NoteCopy();
  // The end of a run in the copy: references mended and refusals logged
  // (unless paused), the log's last line, and, unless paused, the journal
  // closed and the run's memory let go.
  void EndRun(const std::u16string& logLine, bool paused);

  // Opens the site folder for downloads (making it when new), takes its
  // lock and opens its log. An error when the folder cannot be had, or
  // when another run holds it (InUse): nothing is written then.
  Status OpenSiteFolder(const std::u16string& siteFolder, bool freshLog);
  // One line of the site's download log, in the site folder; nothing while
  // no log is open.
  void WriteDownloadLog(const std::u16string& line);
  void CloseDownloadLog();

  const std::u16string& downloadFolder() const { return downloadFolder_; }

  // The copy the last run that ended (not paused) left: where it lies, its
  // start address, and whether the start page is in it.
  struct Copy {
    std::u16string siteFolder;
    std::u16string startAddress;
    bool startStored = false;
  };
  Copy LastCopy() const;

 private:
  // A run that cannot have its copy ends before it begins, said on every
  // surface as a run's end is.
  void RefuseRun(const Error& why);
  void LoadSitemaps(std::vector<std::string> sitemaps);
  // An address on the site's own host, in the start address's scheme.
  std::u16string SiteAddress(std::u16string_view path) const;
  void OpenJournal(bool fresh);
  void StartRules();
  void LogRefusals();
  // Rewrites every reference to an entry that was not stored, and whose
  // file is not in the copy from an earlier run, back to its absolute
  // address, one stored document at a time; and every reference written to
  // the web by an earlier run back to its file once that is stored.
  void MendReferences();
  bool HasCopy(const QueueEntry& entry) const;

  IStatusMonitor& monitor_;
  IQueueList& list_;
  IRunState& runState_;
  IFolderOpener& opener_;
  AddressQueue queue_;
  ThreadPool pool_;
  TransferTotals totals_;
  FailureTally failures_;
  RunLimits limits_;
  WorkerActivity activity_;
  SiteRulesGate siteRules_;
  DownloadOptions options_;
  std::unique_ptr<AdmissionRules> admission_;
  ProjectJournal journal_;
  bool updating_ = false;
  std::vector<std::optional<Validators>> validators_;
  UpdateCounts updateCounts_;
  bool robotsLoaded_ = false;
  std::atomic<int> sitemapAddresses_{0};
  std::atomic<int> sitemapBeyond_{0};
  std::atomic<int> namedAddresses_{0};
  std::atomic<int> namesCapped_{0};
  std::atomic<int> beyondFileLimit_{0};
  std::atomic<int> retriedFiles_{0};
  std::atomic<int> retries_{0};
  std::mutex documentsMutex_;
  DocumentRecords documents_;
  std::u16string downloadFolder_;
  std::u16string siteFolder_;
  ConfinedFolder siteFiles_;
  FolderLock copyLock_;
  DownloadLog log_;
  mutable std::mutex lastCopyMutex_;
  Copy lastCopy_;
  void ApplyConcurrency();
  std::atomic<int> workers_{5};
  int timeOutSeconds_ = 10;
  std::atomic<bool> multiplexed_{false};
  // Last, so that it goes first: the run thread ends before anything it
  // uses is taken down.
  RunSupervisor supervisor_{*this};
};

}  // namespace kestrine
