#include "engine/project.h"

#include <algorithm>

#include "config/option_values.h"
#include "config/setting_util.h"
#include "encoding/ansi_code_page.h"
#include "engine/i_status_monitor.h"
#include "engine/queue_list.h"
#include "engine/run_state.h"
#include "runtime/local_files.h"
#include "runtime/string_utility.h"
#include "runtime/transfer_engine.h"

namespace kestrine {

HttpClient::RequestOptions RequestOptionsFor(const DownloadOptions& options, int workers) {
  HttpClient::RequestOptions request;
  request.caCertificate = options.caCertificate;
  request.checkCertificate = options.checkCertificate;
  request.userAgent = options.userAgent.empty() ? DefaultUserAgent() : options.userAgent;
  request.headers = options.headers;
  request.cookieFile = options.loadCookies;
  request.maxReceiveSpeed =
      options.limitRate > 0 ? std::max<std::int64_t>(1, options.limitRate / std::max(1, workers))
                            : 0;
  request.maxFileSize = options.maxFileSize;
  request.maxTimeSeconds = options.maxTime;
  return request;
}

Project::Project(IStatusMonitor& monitor, IQueueList& list, IRunState& runState,
                 IFolderOpener& opener)
    : monitor_(monitor),
      list_(list),
      runState_(runState),
      opener_(opener),
      queue_(monitor),
      pool_(5, 100000, 100) {
  SetWorkers(SettingUtil::GetInstance().record().threadNumber);
}

void Project::SetWorkers(int workers) {
  workers_ = std::clamp(workers, SettingUtil::kMinThreads, SettingUtil::kMaxThreads);
  ApplyConcurrency();
}

void Project::SetOptions(DownloadOptions options) {
  options_ = std::move(options);
  ApplyConcurrency();
}

void Project::NoteMultiplexed() {
  if (!multiplexed_.exchange(true)) ApplyConcurrency();
}

void Project::ApplyConcurrency() {
  const bool spaced = options_.waitSeconds > 0;
  const int streams = spaced ? 1 : std::max(1, options_.maxStreams);
  const int connections = spaced ? 1 : workers_.load();
  TransferEngine::Instance().SetLimits(connections, streams);
  const int downloads = multiplexed_.load() ? connections * streams : connections;
  pool_.SetCorePoolSize(std::min(downloads, kWorkerCount));
}

Project::~Project() {
  WaitForRun();
  CloseDownloadLog();
}

FoundAddress Project::AddFoundAddress(const std::u16string& address) {
  return AddFoundAddressAt(address, 1);
}

FoundAddress Project::AddFoundAddressAt(const std::u16string& address, int depth) {
  siteRules_.Wait([this] { return IsStopRequested(); });
  FoundAddress found = queue_.AddFound(address, depth);
  if (found.added) activity_.EntryAdded();
  return found;
}

FoundAddress Project::AddNamedAddressAt(const std::u16string& address, int depth) {
  FoundAddress found = AddFoundAddressAt(address, depth);
  if (found.added) ++namedAddresses_;
  return found;
}

namespace {

// "took 12 addresses from the sitemap", or nothing for none.
std::string Took(int count, const char* whence) {
  if (count == 0) return {};
  return "took " + StringUtility::WithThousands(count) + " address" + (count == 1 ? "" : "es") +
         " " + whence;
}

}  // namespace

std::string Project::NamedSummary() const { return Took(namedAddresses_, "named in scripts"); }

std::string Project::SitemapSummary() const { return Took(sitemapAddresses_, "from the sitemap"); }

void Project::NoteFailure(const std::u16string& reason) { failures_.Note(reason); }

std::vector<std::pair<std::string, int>> Project::MostCommonFailures(std::size_t count) const {
  return failures_.MostCommon(count);
}

int Project::RefusedCount() const {
  if (admission_ == nullptr) return 0;
  int refused = 0;
  for (int reason = 1; reason < static_cast<int>(Refusal::Count); ++reason) {
    refused += admission_->Refused(static_cast<Refusal>(reason));
  }
  return refused;
}

QueueEntry* Project::TakeNextPendingOrWait() {
  return activity_.TakeOrWait({[this] { return queue_.TakeNextPending(); },
                               [this] { return queue_.HasPending(); },
                               [this] { return MayTakeMore(); }});
}

void Project::DownloadEnded() { activity_.DownloadEnded(); }

bool Project::MayTakeMore() { return !IsStopRequested() && !limits_.IsReached(); }

void Project::NoteStored(std::int64_t bytes) {
  if (limits_.NoteStored(bytes, options_.quota, options_.maxFiles)) activity_.WakeAll();
}

std::string Project::LimitReached() const { return limits_.Reason(); }

void Project::RecordDocument(std::int32_t number, DocumentKind kind, std::u16string charset,
                             std::vector<std::int32_t> referenced) {
  journal_.RecordDocument(number, static_cast<std::int32_t>(kind), charset, referenced);
  std::lock_guard lock(documentsMutex_);
  documents_.Add(number, kind, charset, referenced);
}

std::u16string Project::LocalPathOf(const QueueEntry& entry, const std::u16string& siteFolder) {
  return LocalFilePath(siteFolder, entry.localFile);
}

bool Project::IsStopRequested() {
  return monitor_.IsCancelRequested() != 0 || monitor_.IsPauseRequested() != 0;
}

void Project::StartProject() {
  SettingUtil& settings = SettingUtil::GetInstance();
  runState_.SetButtonPhase(ButtonPhase::Running);
  downloadFolder_ = settings.GetDownloadFolder();
  OpenSiteFolder(SiteFolderFor(queue_.siteHost(), downloadFolder_), true);
  WriteDownloadLog(u"Begin");
  list_.DeleteAllRows();
  totals_.Reset();
  failures_.Clear();
  limits_.Reset();
  updating_ = false;
  validators_.clear();
  multiplexed_ = false;
  ApplyConcurrency();
  StartRules();
  {
    std::lock_guard lock(documentsMutex_);
    documents_.Clear();
  }
  OpenJournal(true);
  monitor_.ClearRequests();
  StartRunThread();
}

bool Project::OpenSiteFolder(const std::u16string& siteFolder, bool freshLog) {
  if (siteFolder != siteFolder_ || !siteFiles_.IsOpen()) {
    siteFolder_ = siteFolder;
    siteFiles_ = ConfinedFolder::Open(siteFolder_, ConfinedFolder::Create::Yes);
  }
  if (freshLog || !log_.IsOpen()) log_.Open(siteFiles_, freshLog);
  return siteFiles_.IsOpen();
}

void Project::StartRules() {
  admission_ = std::make_unique<AdmissionRules>(options_, queue_.sitePrefix(), queue_.siteHost());
  admission_->SetStoredFiles(&limits_.storedFiles());
  queue_.SetAdmission(admission_.get());
  robotsLoaded_ = false;
  siteRules_.Close();
  sitemapAddresses_ = 0;
  namedAddresses_ = 0;
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

bool Project::RestoreFromJournal(const std::u16string& siteFolder, bool update) {
  ProjectJournal::Contents contents = ProjectJournal::ReadCopy(siteFolder);
  if (!contents.found) return false;
  std::vector<AddressQueue::RestoredEntry> entries;
  validators_.assign(contents.entries.size(), std::nullopt);
  for (const ProjectJournal::Entry& entry : contents.entries) {
    if (entry.number < 0) continue;
    const bool stored = entry.outcome == static_cast<std::int32_t>(EntryOutcome::Stored);
    const bool failed = entry.outcome == static_cast<std::int32_t>(EntryOutcome::Failed);
    // Continuing fetches what never ended; updating asks again for every
    // stored file, and for what failed.
    entries.push_back({entry.number, entry.depth, entry.address, entry.localFile,
                       update ? false : stored || failed, entry.formerLocalFiles, entry.aliases});
    if (update && stored) validators_[entry.number] = Validators{entry.etag, entry.lastModified};
  }
  queue_.Restore(static_cast<DownloadMode>(contents.mode), contents.sitePrefix, contents.siteHost,
                 entries);
  // The copy is continued where it lies, whatever its folder is called now.
  const std::size_t slash = siteFolder.find_last_of(u"\\/");
  downloadFolder_ =
      slash == std::u16string::npos ? std::u16string(u".") : siteFolder.substr(0, slash);
  OpenSiteFolder(siteFolder, false);
  {
    std::lock_guard lock(documentsMutex_);
    documents_ = std::move(contents.documents);
  }
  for (std::size_t n = 0; n < contents.entries.size() && !update; ++n) {
    if (QueueEntry* entry = queue_.EntryByNumber(static_cast<std::int32_t>(n))) {
      entry->outcome = static_cast<EntryOutcome>(contents.entries[n].outcome);
    }
  }
  updating_ = update;
  totals_.Reset();
  updateCounts_.unchanged = updateCounts_.changed = updateCounts_.added = updateCounts_.gone = 0;
  StartRules();
  OpenJournal(false);
  return true;
}

const Project::Validators* Project::ValidatorsOf(std::int32_t number) const {
  if (number < 0 || static_cast<std::size_t>(number) >= validators_.size()) return nullptr;
  const auto& validators = validators_[static_cast<std::size_t>(number)];
  return validators ? &*validators : nullptr;
}

void Project::ClearProject() {
  list_.DeleteAllRows();
  queue_.ClearProject();
}

bool Project::ContinueCopy(const std::u16string& siteFolder, bool update) {
  if (!RestoreFromJournal(siteFolder, update)) return false;
  // The log goes beside the copy, wherever the settings pointed.
  SettingUtil::GetInstance().SetDownloadFolder(downloadFolder_);
  list_.DeleteAllRows();
  ResumeProject();
  return true;
}

void Project::ResumeProject() {
  runState_.SetButtonPhase(ButtonPhase::Running);
  monitor_.ClearRequests();
  StartRunThread();
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
  StartRunThread();
}

void Project::StartRunThread() {
  std::lock_guard lock(runThreadMutex_);
  if (runThread_.joinable()) runThread_.join();
  // The run's threads read the time-out from here, never from the settings,
  // which the settings dialog may change while they run.
  timeOutSeconds_ = std::clamp(SettingUtil::GetInstance().record().timeOut, 1, 3600);
  runActive_ = true;
  runThread_ = std::thread([this] {
    RunProject();
    runActive_ = false;
  });
}

void Project::WaitForRun() {
  std::lock_guard lock(runThreadMutex_);
  if (runThread_.joinable()) runThread_.join();
}

void Project::WriteDownloadLog(const std::u16string& line) {
  // Lines before the first run (none are written then) find no log.
  log_.Write(line);
}

void Project::CloseDownloadLog() { log_.Close(); }

}  // namespace kestrine
