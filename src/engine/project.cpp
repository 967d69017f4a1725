#include "engine/project.h"

#include <algorithm>

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

Project::~Project() { WaitForRun(); }

FoundAddress Project::AddFoundAddress(const std::u16string& address) {
  return queue_.AddFound(address, 1);
}

FoundAddress Project::AddFoundAddressAt(const std::u16string& address, int depth) {
  return queue_.AddFound(address, depth);
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
  std::lock_guard lock(documentsMutex_);
  documents_.push_back({number, kind, std::move(charset), std::move(referenced)});
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
  admission_ = std::make_unique<AdmissionRules>(options_, queue_.sitePrefix(), queue_.siteHost());
  queue_.SetAdmission(admission_.get());
  robotsLoaded_ = false;
  {
    std::lock_guard lock(documentsMutex_);
    documents_.clear();
  }
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
  std::lock_guard lock(logMutex_);
  WriteLocalFile(DownloadLogPath(folder), bytes,
                 append != 0 ? WriteMode::Append : WriteMode::Truncate);
}

}  // namespace kestrine
