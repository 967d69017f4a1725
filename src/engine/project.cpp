#include "engine/project.h"

#include <algorithm>

#include "config/option_values.h"
#include "config/setting_util.h"
#include "encoding/ansi_code_page.h"
#include "engine/surface/i_status_monitor.h"
#include "engine/surface/queue_list.h"
#include "engine/mend/reference_mender.h"
#include "engine/surface/run_state.h"
#include "engine/run/sitemap_loader.h"
#include "runtime/allocator_tuning.h"
#include "runtime/net/http_client.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "runtime/net/transfer_engine.h"
#include "site/script/found_names.h"

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

FoundAddress Project::AddFoundAddressAt(const std::u16string& address, int depth, int namerChain) {
  siteRules_.Wait([this] { return IsStopRequested(); });
  FoundAddress found = queue_.AddFound(address, depth, namerChain);
  if (found.added) activity_.EntryAdded();
  return found;
}

FoundAddress Project::AddNamedAddressAt(const std::u16string& address, int depth, int namerChain) {
  FoundAddress found = AddFoundAddressAt(address, depth, namerChain);
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

std::string Project::RetrySummary() const {
  const int files = retriedFiles_;
  if (files == 0) return {};
  const int retries = retries_;
  return "retried " + StringUtility::WithThousands(files) + " file" + (files == 1 ? "" : "s") +
         ", " + StringUtility::WithThousands(retries) + (retries == 1 ? " time" : " times") +
         " in all";
}

std::string Project::SitemapBeyondSummary() const {
  const int beyond = sitemapBeyond_;
  if (beyond == 0) return {};
  return "skipped " + StringUtility::WithThousands(beyond) + " address" +
         (beyond == 1 ? "" : "es") +
         " of sitemaps beyond their bounds (50,000 a sitemap, 500,000 in all)";
}

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

bool Project::MayQueueMore() {
  return MayTakeMore() && (admission_ == nullptr || admission_->HasRoomFor(queue_.WaitingCount()));
}

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

Status Project::StartProject() {
  SettingUtil& settings = SettingUtil::GetInstance();
  runState_.SetButtonPhase(ButtonPhase::Running);
  downloadFolder_ = settings.GetDownloadFolder();
  if (const Status opened = OpenSiteFolder(SiteFolderFor(queue_.siteHost(), downloadFolder_), true);
      !opened && opened.error().kind == ErrorKind::InUse) {
    RefuseRun(opened.error());
    return opened;
  }
  WriteDownloadLog(u"Begin");
  list_.DeleteAllRows();
  totals_.Reset();
  failures_.Clear();
  limits_.Reset();
  updating_ = false;
  validators_.clear();
  multiplexed_ = false;
  ApplyConcurrency();
  TransferEngine::Instance().ResetThrottles();
  StartRules();
  {
    std::lock_guard lock(documentsMutex_);
    documents_.Clear();
  }
  OpenJournal(true);
  monitor_.ClearRequests();
  supervisor_.Start();
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
  supervisor_.NoteRefused();
  runState_.ShowMessageBox(StringUtility::FromUtf8(why.message), u"Kestrine", MessageIcon::Warning);
  runState_.SetButtonPhase(ButtonPhase::Ended);
  monitor_.EnableDownloadView();
  monitor_.OnRunEnded();
}

void Project::StartRules() {
  admission_ = std::make_unique<AdmissionRules>(options_, queue_.sitePrefix(), queue_.siteHost());
  admission_->SetStoredFiles(&limits_.storedFiles());
  queue_.SetAdmission(admission_.get());
  robotsLoaded_ = false;
  siteRules_.Close();
  sitemapAddresses_ = 0;
  sitemapBeyond_ = 0;
  namedAddresses_ = 0;
  namesCapped_ = 0;
  beyondFileLimit_ = 0;
  retriedFiles_ = 0;
  retries_ = 0;
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
  if (supervisor_.LastOutcome() == RunOutcome::Refused && !copyLock_.held()) return true;
  // The log goes beside the copy, wherever the settings pointed.
  SettingUtil::GetInstance().SetDownloadFolder(downloadFolder_);
  list_.DeleteAllRows();
  ResumeProject();
  return true;
}

void Project::ResumeProject() {
  runState_.SetButtonPhase(ButtonPhase::Running);
  monitor_.ClearRequests();
  supervisor_.Start();
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
  supervisor_.Start();
}

void Project::TakeTimeOut(int seconds) { timeOutSeconds_ = std::clamp(seconds, 1, 3600); }

void Project::WriteDownloadLog(const std::u16string& line) {
  // Lines before the first run (none are written then) find no log.
  log_.Write(line);
}

void Project::CloseDownloadLog() { log_.Close(); }

namespace {

// The site's rules are fetched before its pages; a cancel or a pause ends
// those transfers as it ends the downloads.
class StopWhenAsked : public IDownloadStatus {
 public:
  explicit StopWhenAsked(Project& project) : project_(project) {}
  void OnProgress(std::int64_t, std::int64_t) override {}
  int ShouldStop() override { return project_.IsStopRequested() ? 1 : 0; }

 private:
  Project& project_;
};

}  // namespace

// robots.txt is kept in memory up to this size and read as far as it
// arrived: a crawler should read at least 500 KiB of it.
constexpr std::size_t kMaxRobotsBytes = 512 * 1024;

// What the site says of itself before any page is scanned, once per
// project: its robots.txt and the sitemaps it names (or /sitemap.xml).
// Beside the start page, on a connection the downloads then share; with a
// wait between requests, before them.
void Project::LoadSiteRules() {
  if (robotsLoaded_ || admission_ == nullptr) {
    siteRules_.Open();
    return;
  }
  robotsLoaded_ = true;
  std::vector<std::string> sitemaps;
  if (options_.robots || options_.sitemaps) {
    StopWhenAsked stop(*this);
    HttpClient client;
    client.SetDownloadStatus(&stop);
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
// start page linked it (see SitemapLoader for the bounds).
void Project::LoadSitemaps(std::vector<std::string> sitemaps) {
  StopWhenAsked stop(*this);
  const SitemapLoader::Hooks hooks{
      [&](const std::u16string& address) -> std::optional<std::string> {
        HttpClient client;
        client.SetTimeout(timeOutSeconds_ * 1000);
        client.SetRequestOptions(RequestOptionsFor(options_, 1));
        client.SetDownloadStatus(&stop);
        client.SinkToMemory(SitemapLoader::kMaxSitemapBytes);
        if (!client.Navigate2(address, 0, 0)) return std::nullopt;
        return client.GetMemoryBody();
      },
      [&](const std::u16string& address) { return AddFoundAddressAt(address, 1).added; },
      [&] { return IsStopRequested(); }};
  const SitemapLoader::Counts counts =
      SitemapLoader::Load(std::move(sitemaps), SiteAddress(u"/sitemap.xml"),
                          {queue_.siteHost(), queue_.sitePrefix()}, hooks);
  sitemapAddresses_ = counts.taken;
  sitemapBeyond_ = counts.beyondCap;
}

void Project::LogRefusals() {
  const std::string limit = LimitReached();
  if (!limit.empty()) WriteDownloadLog(StringUtility::FromUtf8("Stopped: " + limit));
  for (const std::string& line : AddressLines()) WriteDownloadLog(StringUtility::FromUtf8(line));
}

std::vector<std::string> Project::AddressLines() const {
  std::vector<std::string> lines;
  for (const std::string& summary :
       {RetrySummary(), SitemapSummary(), SitemapBeyondSummary(), NamedSummary()}) {
    if (!summary.empty()) lines.push_back(summary);
  }
  if (const int capped = namesCapped_; capped > 0) {
    lines.push_back("stopped reading " + StringUtility::WithThousands(capped) + " file" +
                    (capped == 1 ? "" : "s") + " at " +
                    StringUtility::WithThousands(FoundNames::kMaxNames) + " named addresses each");
  }
  if (admission_ == nullptr) return lines;
  for (int reason = 1; reason < static_cast<int>(Refusal::Count); ++reason) {
    const int count =
        admission_->Refused(static_cast<Refusal>(reason)) +
        (static_cast<Refusal>(reason) == Refusal::FileLimit ? beyondFileLimit_.load() : 0);
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

void Project::EndRun(const std::u16string& logLine, bool paused) {
  if (!paused) {
    MendReferences();
    LogRefusals();
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

}  // namespace kestrine
