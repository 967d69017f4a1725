#include "engine/project.h"

#include <unistd.h>

#include <algorithm>

#include "config/setting_util.h"
#include "engine/mend/reference_mender.h"
#include "engine/run/site_rules_loader.h"
#include "engine/surface/i_status_monitor.h"
#include "engine/surface/queue_list.h"
#include "engine/surface/run_state.h"
#include "runtime/allocator_tuning.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "site/address/address.h"

namespace kestrine {

Project::Project(IStatusMonitor& monitor, IQueueList& list, IRunState& runState,
                 IFolderOpener& opener)
    : monitor_(monitor), list_(list), runState_(runState), opener_(opener) {
  SetWorkers(SettingUtil::GetInstance().record().threadNumber);
  monitor_.SetStopListener([this] { OnStopRequested(); });
}

Project::~Project() {
  monitor_.SetStopListener({});
  WaitForRun();
  CloseDownloadLog();
}

void Project::SetWorkers(int workers) {
  workers_ = std::clamp(workers, SettingUtil::kMinThreads, SettingUtil::kMaxThreads);
  if (Run* run = activeRun_.load()) run->SetConcurrency(workers_, multiplexed_);
}

void Project::SetOptions(DownloadOptions options) { options_ = std::move(options); }

void Project::AddStartAddress(const std::u16string& address) {
  queue_.AddAddress(address, AddressQueue::NewProject::Yes);
}

void Project::AddAddress(const std::u16string& address) { queue_.AddAddress(address); }

void Project::ClearProject() {
  list_.DeleteAllRows();
  queue_.ClearProject();
}

bool Project::IsStopRequested() const {
  return monitor_.IsCancelRequested() || monitor_.IsPauseRequested();
}

// On the thread that asked: everything that waits on the run learns of it.
void Project::OnStopRequested() {
  gate_.Abort();
  if (Run* run = activeRun_.load()) run->Stop();
}

FoundAddress Project::AddFound(const std::u16string& address, int depth, int namerChain,
                               AddressSource source) {
  gate_.Wait();
  const bool guess = source == AddressSource::Guess;
  // A guess is only worth a request inside the site, and only so many.
  if (guess && (!IsUnderSitePrefix(address, queue_.sitePrefix()) ||
                tally_.guessed.load() >= RunTally::kMaxGuesses)) {
    return {};
  }
  FoundAddress found = queue_.AddFound(address, depth, namerChain, guess);
  if (found.added) {
    if (source == AddressSource::Script) ++tally_.named;
    if (guess) ++tally_.guessed;
    if (Run* run = activeRun_.load()) run->EntriesAdded();
  }
  return found;
}

bool Project::MayQueueMore() {
  return !IsStopRequested() && !limits_.IsReached() &&
         (admission_ == nullptr || admission_->HasRoomFor(queue_.WaitingCount()));
}

void Project::NoteMultiplexed() {
  if (multiplexed_.exchange(true)) return;
  if (Run* run = activeRun_.load()) run->SetConcurrency(workers_, true);
}

void Project::RecordDocument(std::int32_t number, DocumentRecords::Kind kind,
                             const std::u16string& charset, const WrittenReferences& written) {
  journal_.RecordDocument(number, kind, charset, written.referenced);
  check_.Keep(number, written);
  std::lock_guard lock(documentsMutex_);
  documents_.Add(number, kind, charset, written.referenced);
}

const Validators* Project::ValidatorsOf(std::int32_t number) const {
  if (number < 0 || static_cast<std::size_t>(number) >= validators_.size()) return nullptr;
  const auto& validators = validators_[static_cast<std::size_t>(number)];
  return validators ? &*validators : nullptr;
}

void Project::NoteStored(std::int64_t bytes) {
  if (limits_.NoteStored(bytes, options_.quota, options_.maxFiles)) {
    if (Run* run = activeRun_.load()) run->LimitReached();
  }
}

int Project::TransfersAtOnce() const {
  const Run* run = activeRun_.load();
  return run != nullptr ? run->TransfersAtOnce() : workers_.load();
}

int Project::ActiveDownloads() const {
  const Run* run = activeRun_.load();
  return run != nullptr ? run->ActiveDownloads() : 0;
}

int Project::Concurrency() const { return TransfersAtOnce(); }

int Project::timeOutSeconds() const {
  std::lock_guard lock(runMutex_);
  return run_ != nullptr ? run_->settings().timeOutSeconds
                         : SettingUtil::GetInstance().record().timeOut;
}

ProjectProgress Project::Progress() const {
  return {tally_.succeeded, tally_.failed, tally_.bytes, queue_.KnownCount(),
          static_cast<int>(queue_.WaitingCount())};
}

RunSummary Project::Summary(double seconds) const {
  RunSummary summary;
  summary.outcome = lastOutcome_;
  summary.succeeded = tally_.succeeded;
  summary.failed = tally_.failed;
  summary.bytes = tally_.bytes;
  summary.seconds = seconds;
  summary.commonFailures = tally_.failures.MostCommon(3);
  summary.retriedFiles = tally_.retriedFiles;
  summary.retries = tally_.retries;
  summary.unwritable = tally_.unwritable;
  summary.rendered = tally_.rendered;
  if (admission_ != nullptr) {
    for (int reason = 1; reason < static_cast<int>(Refusal::Count); ++reason) {
      summary.refused += admission_->Refused(static_cast<Refusal>(reason));
    }
  }
  return summary;
}

Status Project::StartProject() {
  runState_.SetButtonPhase(ButtonPhase::Running);
  downloadFolder_ = SettingUtil::GetInstance().GetDownloadFolder();
  if (Status opened = OpenSiteFolder(SiteFolderFor(queue_.siteHost(), downloadFolder_), true);
      !opened && opened.error().kind == ErrorKind::InUse) {
    RefuseRun(opened.error());
    return opened;
  }
  WriteDownloadLog(u"Begin");
  list_.DeleteAllRows();
  tally_.Reset();
  limits_.Reset();
  updating_ = false;
  validators_.clear();
  multiplexed_ = false;
  StartRules();
  {
    std::lock_guard lock(documentsMutex_);
    documents_.Clear();
  }
  OpenJournal(true);
  monitor_.ClearRequests();
  Launch();
  return Ok();
}

Status Project::OpenSiteFolder(const std::u16string& siteFolder, bool freshLog) {
  if (siteFolder != siteFolder_ || !siteFiles_.IsOpen()) {
    CloseDownloadLog();
    copyLock_.Release();
    siteFolder_ = siteFolder;
    siteFiles_ = ConfinedFolder::Open(siteFolder_, ConfinedFolder::Create::Yes);
  }
  if (!siteFiles_.IsOpen()) return Error{ErrorKind::Io, siteFiles_.error()};
  if (!copyLock_.held()) {
    Result<FolderLock> lock = FolderLock::Take(siteFiles_);
    if (!lock) {
      // The other run's copy is left as it is: no log, no journal.
      siteFiles_ = ConfinedFolder();
      return lock.error();
    }
    copyLock_ = std::move(*lock);
  }
  if (freshLog || !log_.IsOpen()) log_.Open(siteFiles_, freshLog);
  return Ok();
}

void Project::RefuseRun(const Error& why) {
  lastOutcome_ = RunOutcome::Refused;
  runState_.ShowRunRefused(why.message);
  runState_.SetButtonPhase(ButtonPhase::Ended);
  monitor_.EnableDownloadView();
  monitor_.OnRunEnded();
}

void Project::StartRules() {
  admission_ = std::make_unique<AdmissionRules>(options_, queue_.sitePrefix(), queue_.siteHost());
  admission_->SetStoredFiles(&limits_.storedFiles());
  queue_.SetAdmission(admission_.get());
  robotsLoaded_ = false;
  gate_.Close();
}

void Project::OpenJournal(bool fresh) {
  const std::string name = StringUtility::ToUtf8(AddressQueue::kJournalFileName);
  if (!journal_.Open(siteFiles_.OpenOwnFile(name, fresh))) return;
  if (fresh) {
    journal_.RecordProject(queue_.mode(), queue_.sitePrefix(), queue_.siteHost());
    queue_.ForEachEntry([this](const QueueEntry& entry) {
      if (!entry.localFile.empty()) {
        journal_.RecordQueued(entry.number, entry.depth, entry.address, entry.localFile);
      }
    });
  }
  queue_.SetPlacedHook([this](const QueueEntry& entry) {
    journal_.RecordQueued(entry.number, entry.depth, entry.address, entry.localFile);
  });
  journal_.RecordRunStarted();
}

void Project::Launch() {
  std::unique_ptr<Run> before;
  {
    std::lock_guard lock(runMutex_);
    before = std::move(run_);
  }
  // The run before has ended; its thread is let go before the next begins.
  if (before) before->Wait();
  before.reset();
  if (!queue_.HasPending()) {
    // Nothing to do: say so and hand the Download view back.
    lastOutcome_ = RunOutcome::Finished;
    monitor_.ShowRunStatus(RunStatus::Finished);
    monitor_.OnRunEnded();
    runState_.SetButtonPhase(ButtonPhase::Ended);
    monitor_.EnableDownloadView();
    return;
  }
  OpenSiteFolder(siteFolder_, false);
  const bool withSiteRules = !robotsLoaded_ && admission_ != nullptr;
  if (withSiteRules) {
    robotsLoaded_ = true;
  } else {
    gate_.Open();
  }
  // The run's threads read the time-out from its own settings, never from
  // the settings record, which a dialog may change while they run.
  RunSettings settings{options_, std::clamp(SettingUtil::GetInstance().record().timeOut, 1, 3600),
                       workers_};
  const ProjectServices services{queue_,   siteFiles_, journal_,  report_,  tally_,
                                 monitor_, *this,      updating_, renderer_};
  std::lock_guard lock(runMutex_);
  run_ = std::make_unique<Run>(*this, std::move(settings), services, OpenArchive());
  run_->SetConcurrency(workers_, multiplexed_);
  activeRun_ = run_.get();
  // A stop asked for before the run existed reaches it now.
  if (IsStopRequested()) run_->Stop();
  run_->Start(withSiteRules);
}

void Project::WaitForRun() {
  std::lock_guard lock(runMutex_);
  if (run_) run_->Wait();
}

void Project::SetRunStoppedListener(std::function<void()> listener) {
  runStopped_ = std::move(listener);
}

void Project::RunStopped() {
  if (runStopped_) runStopped_();
}

std::optional<RunArchive::Outcome> Project::LastArchive() const {
  std::lock_guard lock(lastCopyMutex_);
  return lastArchive_;
}

std::optional<CopyVerifier::Report> Project::LastCheck() const {
  std::lock_guard lock(lastCopyMutex_);
  return lastCheck_;
}

// The archive beside the copy the options ask for: NAME.warc.gz and the
// rest, named after the site folder unless a name is given. One that
// cannot be opened is said in the log; the copy goes on without it.
std::unique_ptr<RunArchive> Project::OpenArchive() {
  if (!options_.KeepsArchive()) return nullptr;
  RunArchive::Settings settings;
  settings.base = options_.warcFile.empty() ? NativePath(siteFolder_) : options_.warcFile;
  settings.cdx = options_.warcCdx;
  settings.wacz = options_.wacz;
  settings.maxBytes = static_cast<std::uint64_t>(std::max<std::int64_t>(0, options_.warcMaxSize));
  settings.update = updating_;
  settings.mainPageUrl = StringUtility::ToUtf8(queue_.sitePrefix());
  settings.title = StringUtility::ToUtf8(queue_.siteHost());
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  settings.info = {
      {"http-header-user-agent",
       options_.userAgent.empty() ? DefaultUserAgent() : options_.userAgent},
      {"robots", options_.robots ? "obey" : "ignore"},
      {"hostname", host},
      {"operator-command", options_.commandLine.empty() ? "kestrine" : options_.commandLine},
  };
  Result<std::unique_ptr<RunArchive>> archive = RunArchive::Open(std::move(settings));
  if (!archive) {
    WriteDownloadLog(StringUtility::FromUtf8("Web archive not kept: " + archive.error().message));
    return nullptr;
  }
  return std::move(archive.value());
}

bool Project::IsRunActive() const {
  std::lock_guard lock(runMutex_);
  return run_ != nullptr && run_->IsActive();
}

void Project::LoadSiteRules(const RunSettings& settings, TransferEngine& transfers,
                            RunArchive* archive) {
  if (!(settings.options.robots || settings.options.sitemaps)) {
    gate_.Open();
    return;
  }
  const std::u16string scheme = WebSchemeOf(queue_.sitePrefix());
  SiteRulesLoader loader(
      settings, transfers,
      {(scheme.empty() ? std::u16string(u"http") : scheme) + u"://" + queue_.siteHost(),
       queue_.siteHost(), queue_.sitePrefix()},
      {[this] { return IsStopRequested(); },
       [this](const std::u16string& address) {
         return AddFound(address, 1, 0, AddressSource::Reference).added;
       },
       [this](const std::u16string& line) { WriteDownloadLog(line); },
       archive == nullptr
           ? std::function<void(HttpClient&)>()
           : [archive](HttpClient& client) { archive->Record(client.TakeExchanges()); }});
  loader.Load(*admission_, gate_, tally_);
}

void Project::EndRun(std::chrono::steady_clock::duration took,
                     std::optional<RunArchive::Outcome> archive) {
  activeRun_ = nullptr;
  {
    std::lock_guard lock(lastCopyMutex_);
    lastArchive_ = archive;
    lastCheck_.reset();
  }
  if (archive) {
    for (const std::string& error : archive->errors) {
      WriteDownloadLog(StringUtility::FromUtf8("Web archive: " + error));
    }
  }
  const bool canceled = monitor_.IsCancelRequested();
  const bool paused = !canceled && monitor_.IsPauseRequested();
  lastOutcome_ = canceled ? RunOutcome::Canceled
                 : paused ? RunOutcome::Paused
                          : RunOutcome::Finished;
  // A paused copy is a copy too: the window offers it again after a restart.
  NoteCopy();
  monitor_.ShowRunStatus(canceled ? RunStatus::Canceled
                         : paused ? RunStatus::Paused
                                  : RunStatus::Finished);
  monitor_.OnRunEnded();
  runState_.SetButtonPhase(paused ? ButtonPhase::Paused : ButtonPhase::Ended);
  if (!paused) monitor_.EnableDownloadView();
  RunSummary summary = Summary(std::chrono::duration<double>(took).count());
  if (archive) {
    summary.archivePath = archive->path;
    summary.archiveBytes = static_cast<std::int64_t>(archive->bytes);
  }
  CloseRun(canceled ? u"Canceled" : paused ? u"Paused" : u"End", paused);
  // The notice says how it went, and warns when nothing could be fetched.
  if (!canceled) runState_.ShowEndNotice(summary);
  opener_.OpenFolder(downloadFolder_);
}

void Project::CloseRun(const std::u16string& logLine, bool paused) {
  if (!paused) {
    MendReferences();
    CheckCopy();
    const std::string limit = LimitReached();
    if (!limit.empty()) WriteDownloadLog(StringUtility::FromUtf8("Stopped: " + limit));
    for (const std::string& line : AddressLines()) WriteDownloadLog(StringUtility::FromUtf8(line));
  }
  if (journal_.HasFailed()) {
    WriteDownloadLog(u"The journal could not be written whole: this copy may not continue whole");
  }
  WriteDownloadLog(logLine);
  CloseDownloadLog();
  if (paused) return;
  // A finished or cancelled run is whole in its journal; what it held in
  // memory goes, and so does its hold on the copy.
  journal_.RecordRunEnded();
  journal_.Close();
  copyLock_.Release();
  queue_.SetPlacedHook(nullptr);
  queue_.ClearProject();
  {
    std::lock_guard lock(documentsMutex_);
    documents_.Clear();
  }
  AllocatorTuning::ReleaseFreeMemory();
}

void Project::MendReferences() {
  // Every worker has ended: the entries and documents are read without
  // locks.
  std::lock_guard lock(documentsMutex_);
  ReferenceMender(queue_, documents_, siteFiles_, journal_).Mend();
}

// The copy's check, from what its documents were written as, while the
// run's entries and documents are at hand.
void Project::CheckCopy() {
  std::vector<std::int32_t> numbers;
  {
    std::lock_guard lock(documentsMutex_);
    for (const DocumentRecords::Record& record : documents_.records()) {
      numbers.push_back(record.number);
    }
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  const RecordedCheck::Copy copy{
      [this](std::int32_t number) -> std::optional<std::u16string> {
        const QueueEntry* entry = queue_.EntryByNumber(number);
        if (entry == nullptr || entry->outcome != EntryOutcome::Stored) return std::nullopt;
        return std::u16string(entry->localFile);
      },
      [this](const std::u16string& file) { return siteFiles_.HoldsFile(file); }};
  std::optional<CopyVerifier::Report> checked = check_.Check(numbers, copy);
  check_.Clear();
  std::lock_guard lock(lastCopyMutex_);
  lastCheck_ = std::move(checked);
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

bool Project::RestoreFromJournal(const std::u16string& siteFolder, bool update) {
  ProjectJournal::Contents contents = ProjectJournal::ReadCopy(siteFolder);
  if (!contents.found) return false;
  std::vector<AddressQueue::RestoredEntry> entries;
  validators_.assign(contents.entries.size(), std::nullopt);
  for (const ProjectJournal::Entry& entry : contents.entries) {
    if (entry.number < 0) continue;
    const bool stored = entry.outcome == EntryOutcome::Stored;
    const bool failed = entry.outcome == EntryOutcome::Failed;
    // Continuing fetches what never ended; updating asks again for every
    // stored file, and for what failed.
    entries.push_back({entry.number, entry.depth, entry.address, entry.localFile,
                       update ? false : stored || failed, entry.formerLocalFiles, entry.aliases,
                       entry.droppedGuess});
    if (update && stored) validators_[entry.number] = Validators{entry.etag, entry.lastModified};
  }
  queue_.Restore(contents.mode, contents.sitePrefix, contents.siteHost, entries);
  // The copy is continued where it lies, whatever its folder is called now.
  const std::size_t slash = siteFolder.find_last_of(u"\\/");
  downloadFolder_ =
      slash == std::u16string::npos ? std::u16string(u".") : siteFolder.substr(0, slash);
  if (const Status opened = OpenSiteFolder(siteFolder, false);
      !opened && opened.error().kind == ErrorKind::InUse) {
    queue_.ClearProject();
    RefuseRun(opened.error());
    return true;
  }
  {
    std::lock_guard lock(documentsMutex_);
    documents_ = std::move(contents.documents);
  }
  for (std::size_t n = 0; n < contents.entries.size() && !update; ++n) {
    if (QueueEntry* entry = queue_.EntryByNumber(static_cast<std::int32_t>(n))) {
      entry->outcome = contents.entries[n].outcome;
    }
  }
  updating_ = update;
  tally_.Reset();
  StartRules();
  OpenJournal(false);
  return true;
}

bool Project::ContinueCopy(const std::u16string& siteFolder, bool update) {
  if (!RestoreFromJournal(siteFolder, update)) return false;
  if (lastOutcome_ == RunOutcome::Refused && !copyLock_.held()) return true;
  // The log goes beside the copy, wherever the settings pointed.
  SettingUtil::GetInstance().SetDownloadFolder(downloadFolder_);
  list_.DeleteAllRows();
  ResumeProject();
  return true;
}

void Project::ResumeProject() {
  runState_.SetButtonPhase(ButtonPhase::Running);
  monitor_.ClearRequests();
  Launch();
}

void Project::ContinueProject() {
  if (!queue_.HasPending()) return;
  runState_.SetButtonPhase(ButtonPhase::Continued);
  monitor_.ClearRequests();
  // A folder changed in the settings while paused takes effect now.
  const std::u16string folder = SettingUtil::GetInstance().GetDownloadFolder();
  if (folder != downloadFolder_) {
    downloadFolder_ = folder;
    OpenSiteFolder(SiteFolderFor(queue_.siteHost(), downloadFolder_), false);
  }
  Launch();
}

}  // namespace kestrine
