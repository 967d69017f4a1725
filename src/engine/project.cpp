#include "engine/project.h"

#include <algorithm>
#include <chrono>

#include "config/option_values.h"
#include "config/setting_util.h"
#include "encoding/ansi_code_page.h"
#include "engine/i_status_monitor.h"
#include "engine/queue_list.h"
#include "engine/run_state.h"
#include "runtime/local_files.h"

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
  pool_.SetCorePoolSize(std::clamp(SettingUtil::GetInstance().record().threadNumber, 1, 15));
}

Project::~Project() {
  WaitForRun();
  CloseDownloadLog();
}

FoundAddress Project::AddFoundAddress(const std::u16string& address) {
  return queue_.AddFound(address, 1);
}

FoundAddress Project::AddFoundAddressAt(const std::u16string& address, int depth) {
  FoundAddress found = queue_.AddFound(address, depth);
  if (waitingWorkers_.load() > 0 && queue_.HasPending()) NotifyActivity();
  return found;
}

void Project::NotifyActivity() {
  std::lock_guard lock(activityMutex_);
  activity_.notify_all();
}

QueueEntry* Project::TakeNextPendingOrWait() {
  constexpr auto kRecheck = std::chrono::milliseconds(50);
  while (true) {
    ++activeDownloads_;
    if (QueueEntry* entry = queue_.TakeNextPending()) return entry;
    --activeDownloads_;
    std::unique_lock lock(activityMutex_);
    if (activeDownloads_.load() == 0 || !MayTakeMore()) return nullptr;
    ++waitingWorkers_;
    // Requests and limits are flags nobody signals, hence the bounded wait.
    activity_.wait_for(lock, kRecheck, [this] {
      return queue_.HasPending() || activeDownloads_.load() == 0 || !MayTakeMore();
    });
    --waitingWorkers_;
    if (!queue_.HasPending() && activeDownloads_.load() == 0) return nullptr;
  }
}

void Project::DownloadEnded() {
  --activeDownloads_;
  if (waitingWorkers_.load() > 0) NotifyActivity();
}

bool Project::MayTakeMore() { return !IsStopRequested() && !limitHit_.load(); }

void Project::NoteStored(std::int64_t bytes) {
  const int files = ++storedFiles_;
  const std::int64_t total = storedBytes_ += bytes;
  std::string reached;
  if (options_.quota > 0 && total >= options_.quota) {
    reached = "quota of " + OptionValues::SizeText(options_.quota) + " reached";
  } else if (options_.maxFiles > 0 && files >= options_.maxFiles) {
    reached = "limit of " + std::to_string(options_.maxFiles) + " files reached";
  }
  if (reached.empty()) return;
  std::lock_guard lock(limitMutex_);
  if (limitReached_.empty()) limitReached_ = reached;
  limitHit_ = true;
}

std::string Project::LimitReached() const {
  std::lock_guard lock(limitMutex_);
  return limitReached_;
}

void Project::RecordDocument(std::int32_t number, DocumentKind kind, std::u16string charset,
                             std::vector<std::int32_t> referenced) {
  journal_.RecordDocument(number, static_cast<std::int32_t>(kind), charset, referenced);
  std::lock_guard lock(documentsMutex_);
  AddDocumentLocked(number, kind, charset, referenced);
}

void Project::AddDocumentLocked(std::int32_t number, DocumentKind kind,
                                const std::u16string& charset,
                                const std::vector<std::int32_t>& referenced) {
  const auto [known, added] = documentCharsetIndex_.try_emplace(
      charset, static_cast<std::uint32_t>(documentCharsets_.size()));
  if (added) documentCharsets_.push_back(charset);
  documents_.push_back({number, kind, known->second,
                        static_cast<std::uint32_t>(documentReferences_.size()),
                        static_cast<std::uint32_t>(referenced.size())});
  documentReferences_.insert(documentReferences_.end(), referenced.begin(), referenced.end());
}

void Project::ClearDocumentsLocked() {
  documents_.clear();
  documentReferences_.clear();
  documentCharsets_.clear();
  documentCharsetIndex_.clear();
}

std::u16string Project::LocalPathOf(const QueueEntry& entry, const std::u16string& folder) {
  return LocalFilePath(folder, entry.localFile);
}

bool Project::IsStopRequested() {
  return monitor_.IsCancelRequested() != 0 || monitor_.IsPauseRequested() != 0;
}

void Project::StartProject() {
  SettingUtil& settings = SettingUtil::GetInstance();
  runState_.SetButtonPhase(ButtonPhase::Running);
  WriteDownloadLog(settings.GetDownloadFolder(), u"Begin", 0);
  list_.DeleteAllRows();
  downloadFolder_ = settings.GetDownloadFolder();
  totals_.Reset();
  storedFiles_ = 0;
  storedBytes_ = 0;
  limitHit_ = false;
  {
    std::lock_guard lock(limitMutex_);
    limitReached_.clear();
  }
  updating_ = false;
  validators_.clear();
  StartRules();
  {
    std::lock_guard lock(documentsMutex_);
    ClearDocumentsLocked();
  }
  OpenJournal(true);
  monitor_.ClearRequests();
  StartRunThread(downloadFolder_);
}

void Project::StartRules() {
  admission_ = std::make_unique<AdmissionRules>(options_, queue_.sitePrefix(), queue_.siteHost());
  queue_.SetAdmission(admission_.get());
  robotsLoaded_ = false;
}

void Project::OpenJournal(bool fresh) {
  const std::u16string siteFolder = SiteFolderFor(queue_.siteHost(), downloadFolder_);
  CreateFolders(siteFolder);
  if (!journal_.Open(siteFolder + u"\\" + AddressQueue::kJournalFileName, fresh)) return;
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
  const ProjectJournal::Contents contents =
      ProjectJournal::Read(siteFolder + u"\\" + AddressQueue::kJournalFileName);
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
                       update ? false : stored || failed});
    if (update && stored) validators_[entry.number] = Validators{entry.etag, entry.lastModified};
  }
  queue_.Restore(static_cast<DownloadMode>(contents.mode), contents.sitePrefix, contents.siteHost,
                 entries);
  // The site folder lies right under the download folder in every mode.
  const std::size_t slash = siteFolder.find_last_of(u"\\/");
  downloadFolder_ =
      slash == std::u16string::npos ? std::u16string(u".") : siteFolder.substr(0, slash);
  {
    std::lock_guard lock(documentsMutex_);
    ClearDocumentsLocked();
    for (const ProjectJournal::Document& document : contents.documents) {
      AddDocumentLocked(document.number, static_cast<DocumentKind>(document.kind), document.charset,
                        document.referenced);
    }
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

void Project::ResumeProject() {
  runState_.SetButtonPhase(ButtonPhase::Running);
  monitor_.ClearRequests();
  StartRunThread(downloadFolder_);
}

void Project::ContinueProject() {
  if (!queue_.HasPending()) return;
  runState_.SetButtonPhase(ButtonPhase::Continued);
  monitor_.ClearRequests();
  // A folder changed in the settings while paused takes effect now.
  StartRunThread(SettingUtil::GetInstance().GetDownloadFolder());
}

void Project::StartRunThread(std::u16string folder) {
  std::lock_guard lock(runThreadMutex_);
  if (runThread_.joinable()) runThread_.join();
  runActive_ = true;
  runThread_ = std::thread([this, folder = std::move(folder)] {
    RunProject(folder);
    runActive_ = false;
  });
}

void Project::WaitForRun() {
  std::lock_guard lock(runThreadMutex_);
  if (runThread_.joinable()) runThread_.join();
}

std::u16string Project::DownloadLogPath(const std::u16string& folder) const {
  // The site's own folder, named by the same rule as every mode's site
  // folder, so a host with a port has its log beside its files.
  return SiteFolderFor(queue_.siteHost(), folder) + u"\\download.log";
}

void Project::WriteDownloadLog(const std::u16string& folder, const std::u16string& line,
                               int append) {
  const std::string bytes = AnsiCodePage::FromWide(line) + "\r\n";
  const std::u16string path = DownloadLogPath(folder);
  std::lock_guard lock(logMutex_);
  // The log stays open between lines of one run; a new path, or a new log,
  // opens it again.
  if (append == 0 || logFile_ == nullptr || path != logPath_) {
    if (logFile_ != nullptr) std::fclose(logFile_);
    logFile_ = std::fopen(NativePath(path).c_str(), append != 0 ? "ab" : "wb");
    logPath_ = path;
    if (logFile_ != nullptr) std::setvbuf(logFile_, nullptr, _IOFBF, kLogBufferBytes);
    logFlushed_ = std::chrono::steady_clock::now();
  }
  if (logFile_ == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), logFile_);
  // Lines reach the file a few times a second and when the log closes,
  // not one write each: a copy logs a line for every file.
  const auto now = std::chrono::steady_clock::now();
  if (now - logFlushed_ >= kLogFlushInterval) {
    std::fflush(logFile_);
    logFlushed_ = now;
  }
}

void Project::CloseDownloadLog() {
  std::lock_guard lock(logMutex_);
  if (logFile_ != nullptr) std::fclose(logFile_);
  logFile_ = nullptr;
}

}  // namespace kestrine
