#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/download_options.h"
#include "engine/download/download_host.h"
#include "engine/download/download_report.h"
#include "engine/journal/document_records.h"
#include "engine/journal/download_log.h"
#include "engine/journal/project_journal.h"
#include "engine/mend/recorded_check.h"
#include "engine/queue/address_queue.h"
#include "engine/queue/admission_rules.h"
#include "engine/run/run.h"
#include "engine/run/run_limits.h"
#include "engine/run/run_tally.h"
#include "engine/run/site_rules_gate.h"
#include "engine/surface/run_summary.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/fs/folder_lock.h"
#include "runtime/result.h"

namespace kestrine {

class IStatusMonitor;
class IQueueList;
class IRunState;
class IFolderOpener;

// How far a run has got, for a live line or a status bar.
struct ProjectProgress {
  int succeeded = 0;
  int failed = 0;
  std::int64_t bytes = 0;
  int known = 0;    // addresses the project knows
  int waiting = 0;  // of them, pending
};

// One site download and its runs, as the Queue page (or the headless front
// end) owns it: the address queue, the copy's folder, journal and log, the
// options, and the run under way (see Run). It reaches the user only
// through the surfaces, and is what its downloads ask to queue what they
// find (IDownloadHost).
class Project final : public IDownloadHost, public IRunOwner {
 public:
  Project(IStatusMonitor& monitor, IQueueList& list, IRunState& runState, IFolderOpener& opener);
  ~Project();
  Project(const Project&) = delete;
  Project& operator=(const Project&) = delete;

  AddressQueue& queue() { return queue_; }
  // The worker count the user chose (1 to 15): connections to a host, and
  // the downloads at once until a host shows that it multiplexes; then up
  // to max-streams on each connection. With a wait between requests, one
  // download at a time.
  void SetWorkers(int workers);
  // Options beyond the settings record, read by the next run.
  void SetOptions(DownloadOptions options);
  // The browser the runs render pages in (the front end's; it outlives the
  // project's runs). Without one no page is rendered.
  void SetRenderer(IPageRenderer* renderer) { renderer_ = renderer; }
  const DownloadOptions& options() const { return options_; }

  // A new project begins with its start address; further addresses join it
  // before it starts.
  void AddStartAddress(const std::u16string& address);
  void AddAddress(const std::u16string& address);
  void SetMode(DownloadMode mode) { queue_.SetMode(mode); }
  // The list and the queue emptied: Clear.
  void ClearProject();

  // Starts a run over a new project. An error when another run holds the
  // copy: the run was refused (said on the surfaces already).
  Status StartProject();
  // Runs the entries a paused run left pending; nothing when none are.
  void ContinueProject();
  // Continues (or with `update` brings up to date) the copy recorded in a
  // site folder's journal; false when the folder holds none. When another
  // run holds the folder, nothing is written and the run is refused.
  bool ContinueCopy(const std::u16string& siteFolder, bool update);
  // Rebuilds the project recorded in a site folder's journal, in that
  // folder wherever it lies now; with `update` every stored file is asked
  // for again, conditionally. False when the folder holds no journal.
  bool RestoreFromJournal(const std::u16string& siteFolder, bool update);
  // Runs a restored project: what was pending or in flight is fetched.
  void ResumeProject();

  // Waits until the run thread (if any) has ended.
  void WaitForRun();
  // True from the start of a run thread until it has taken its last step.
  // A window thread waits for this while it goes on delivering the run's
  // window changes, never in WaitForRun.
  bool IsRunActive() const;
  // Called on the run's thread once a run is no longer active, so a window
  // thread waiting for that can wake (set before any run starts).
  void SetRunStoppedListener(std::function<void()> listener);
  RunOutcome LastOutcome() const { return lastOutcome_.load(); }
  // The web archive the last run wrote, if it kept one.
  std::optional<RunArchive::Outcome> LastArchive() const;
  // The check of the copy the last finished run made, from what it wrote;
  // nothing when only reading the copy can tell (CopyVerifier).
  std::optional<CopyVerifier::Report> LastCheck() const;
  // The time-out of the last run, as the settings gave it when it started.
  int timeOutSeconds() const;
  // Downloads under way, and how many may be at once.
  int ActiveDownloads() const;
  int Concurrency() const;

  // What the run has done, counted as it goes.
  const RunTally& tally() const { return tally_; }
  ProjectProgress Progress() const;
  // How the run went, for its end.
  RunSummary Summary(double seconds) const;
  bool IsUpdating() const { return updating_; }
  // "quota of 100 MB reached", or empty while no limit was reached.
  std::string LimitReached() const { return limits_.Reason(); }
  // What the run took from sitemaps and scripts, what it retried and what
  // the rules refused, a line each, as the log and the terminal give them.
  std::vector<std::string> AddressLines() const { return tally_.Lines(admission_.get()); }
  std::string SitemapSummary() const { return tally_.SitemapLine(); }
  std::string NamedSummary() const { return tally_.NamedLine(); }
  // The admission rules of the current project (their refusal counts), or
  // nullptr before the first start.
  const AdmissionRules* admission() const { return admission_.get(); }

  // The site folder of the project: named after the site under the
  // download folder, or where the user keeps a copy that is continued.
  const std::u16string& siteFolder() const { return siteFolder_; }
  const std::u16string& downloadFolder() const { return downloadFolder_; }
  // Opens the site folder for downloads (making it when new), takes its
  // lock and opens its log. An error when the folder cannot be had, or
  // when another run holds it (InUse): nothing is written then.
  Status OpenSiteFolder(const std::u16string& siteFolder, bool freshLog);
  // One line of the site's download log; nothing while no log is open.
  void WriteDownloadLog(const std::u16string& line) { log_.Write(line); }
  void CloseDownloadLog() { log_.Close(); }

  // The copy the last run that ended (not paused) left: where it lies, its
  // start address, and whether the start page is in it.
  struct Copy {
    std::u16string siteFolder;
    std::u16string startAddress;
    bool startStored = false;
  };
  Copy LastCopy() const;

  // IDownloadHost
  FoundAddress AddFound(const std::u16string& address, int depth, int namerChain,
                        AddressSource source) override;
  bool MayQueueMore() override;
  void NoteMultiplexed() override;
  void RecordDocument(std::int32_t number, DocumentRecords::Kind kind,
                      const std::u16string& charset, const WrittenReferences& written) override;
  const Validators* ValidatorsOf(std::int32_t number) const override;
  void NoteStored(std::int64_t bytes) override;
  int TransfersAtOnce() const override;

  // IRunOwner
  void LoadSiteRules(const RunSettings& settings, TransferEngine& transfers,
                     RunArchive* archive) override;
  void EndRun(std::chrono::steady_clock::duration took,
              std::optional<RunArchive::Outcome> archive) override;
  void RunStopped() override;

 private:
  bool IsStopRequested() const;
  void OnStopRequested();
  // Starts a run over what is pending; a run with nothing to do ends at
  // once.
  void Launch();
  // A run that cannot have its copy ends before it begins, said on every
  // surface as a run's end is.
  void RefuseRun(const Error& why);
  void StartRules();
  void OpenJournal(bool fresh);
  // Notes where the copy lies and whether its start page is in it.
  void NoteCopy();
  std::unique_ptr<RunArchive> OpenArchive();
  // The end of a run in the copy: references mended and refusals logged
  // (unless paused), the log's last line, and, unless paused, the journal
  // closed, the copy let go and the run's memory freed.
  void CloseRun(const std::u16string& logLine, bool paused);
  void MendReferences();
  void CheckCopy();

  IStatusMonitor& monitor_;
  IQueueList& list_;
  IRunState& runState_;
  IFolderOpener& opener_;
  AddressQueue queue_;
  DownloadOptions options_;
  std::unique_ptr<AdmissionRules> admission_;
  ProjectJournal journal_;
  DownloadLog log_;
  DownloadReport report_{list_, monitor_, log_};
  RunTally tally_;
  RunLimits limits_;
  SiteRulesGate gate_;
  bool robotsLoaded_ = false;
  bool updating_ = false;
  std::vector<std::optional<Validators>> validators_;
  std::mutex documentsMutex_;
  DocumentRecords documents_;
  std::u16string downloadFolder_;
  std::u16string siteFolder_;
  ConfinedFolder siteFiles_;
  FolderLock copyLock_;
  mutable std::mutex lastCopyMutex_;
  Copy lastCopy_;
  std::optional<RunArchive::Outcome> lastArchive_;
  std::optional<CopyVerifier::Report> lastCheck_;
  RecordedCheck check_;
  std::atomic<int> workers_{5};
  std::atomic<bool> multiplexed_{false};
  std::atomic<RunOutcome> lastOutcome_{RunOutcome::Finished};
  // The run under way or the last one; its workers read activeRun_.
  mutable std::mutex runMutex_;
  std::unique_ptr<Run> run_;
  std::atomic<Run*> activeRun_{nullptr};
  std::function<void()> runStopped_;
  IPageRenderer* renderer_ = nullptr;
};

}  // namespace kestrine
