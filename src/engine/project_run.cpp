// The run of a project: workers on the pool, their supervision, and the end
// of the run. Part of Project.
#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

#include "config/setting_util.h"
#include "encoding/charset_transfer_util.h"
#include "engine/download_task.h"
#include "engine/i_status_monitor.h"
#include "engine/project.h"
#include "engine/run_state.h"
#include "engine/string_table.h"
#include "engine/unstored_reference_relinker.h"
#include "runtime/allocator_tuning.h"
#include "runtime/file_exception.h"
#include "runtime/http_client.h"
#include "runtime/local_files.h"
#include "runtime/string_utility.h"
#include "runtime/work_shares.h"
#include "site/html_scanner.h"
#include "site/style_sheet_scanner.h"

namespace kestrine {

namespace {

using Workers = std::vector<std::unique_ptr<DownloadTaskRunnable>>;

// Watches the workers until none ran through a whole pass. A worker ends by
// itself when nothing is pending, so this is what brings finished workers
// back while running downloads keep adding addresses. A finished worker
// waits in `idle` at most once and is handed over again only from there.
void Supervise(Project& project, const Workers& workers) {
  std::deque<std::size_t> idle;
  std::vector<bool> inIdle(workers.size(), false);
  bool busy = true;
  while (busy) {
    busy = false;
    for (std::size_t i = 0; i < workers.size(); ++i) {
      if (project.pool().Join(workers[i].get(), Project::kJoinMilliseconds)) {
        if (!inIdle[i]) {
          idle.push_back(i);
          inIdle[i] = true;
        }
        continue;
      }
      busy = true;
      if (!project.MayTakeMore()) continue;
      project.monitor().Lock();
      const std::size_t pending = project.queue().PendingCount();
      project.monitor().Unlock();
      if (!idle.empty() && pending > 0) {
        const std::size_t next = idle.front();
        idle.pop_front();
        inIdle[next] = false;
        project.pool().Execute(workers[next].get());
      }
    }
  }
}

}  // namespace

void Project::RunProject(const std::u16string& downloadFolder) {
  // 1. Nothing to do: say so and hand the Download view back.
  if (!queue_.HasPending()) {
    monitor_.SetStatusText(StringTable::Load(kIdsRunFinished));
    monitor_.OnRunEnded();
    runState_.SetButtonPhase(ButtonPhase::Ended);
    monitor_.EnableDownloadView();
    return;
  }
  // The site's robots.txt, once per project, before any page is scanned.
  LoadRobots(downloadFolder);
  // 2. Make the workers and hand them all to the pool, which runs as many
  //    at once as its core size.
  Workers workers;
  for (int i = 0; i < kWorkerCount; ++i) {
    auto worker = std::make_unique<DownloadTaskRunnable>();
    worker->SetProject(this);
    worker->SetDownloadFolder(downloadFolder);
    pool_.Execute(worker.get());
    workers.push_back(std::move(worker));
  }
  // 3. Supervise until no worker runs.
  Supervise(*this, workers);
  // 4. to 6. Report the outcome.
  FinishRun(downloadFolder);
  // 7. The workers go with this scope; every one of them has finished.
}

void Project::FinishRun(const std::u16string& downloadFolder) {
  const std::u16string logFolder = SettingUtil::GetInstance().GetDownloadFolder();
  const bool canceled = monitor_.IsCancelRequested() != 0;
  const bool paused = !canceled && monitor_.IsPauseRequested() != 0;
  const std::u16string status = StringTable::Load(canceled ? kIdsCanceled
                                                  : paused ? kIdsPaused
                                                           : kIdsRunFinished);
  monitor_.SetStatusText(status);
  monitor_.OnRunEnded();
  runState_.SetButtonPhase(paused ? ButtonPhase::Paused : ButtonPhase::Ended);
  if (!paused) monitor_.EnableDownloadView();
  if (!paused) RelinkUnstoredTargets(downloadFolder);
  if (!paused) LogRefusals(logFolder);
  WriteDownloadLog(logFolder, canceled ? u"Canceled" : paused ? u"Paused" : u"End", 1);
  CloseDownloadLog();
  if (!paused) {
    journal_.RecordRunEnded();
    queue_.SetPlacedHook(nullptr);
    queue_.ClearProject();
    {
      std::lock_guard lock(documentsMutex_);
      ClearDocumentsLocked();
    }
    AllocatorTuning::ReleaseFreeMemory();
  }
  if (!canceled)
    runState_.ShowMessageBox(status, StringTable::Load(kIdsNotice), MessageIcon::Information);
  opener_.OpenFolder(downloadFolder);
}

}  // namespace kestrine

namespace kestrine {

void Project::LoadRobots(const std::u16string& downloadFolder) {
  if (robotsLoaded_ || !options_.robots || admission_ == nullptr) return;
  robotsLoaded_ = true;
  const std::u16string scheme = WebSchemeOf(queue_.sitePrefix());
  const std::u16string address = (scheme.empty() ? std::u16string(u"http") : scheme) + u"://" +
                                 queue_.siteHost() + u"/robots.txt";
  const std::u16string siteFolder = SiteFolderFor(queue_.siteHost(), downloadFolder);
  CreateFolders(siteFolder);
  const std::u16string file = PartialFilePath(siteFolder, 0);
  HttpClient client;
  try {
    client.SetTimeout(SettingUtil::GetInstance().record().timeOut * 1000);
    client.SetRequestOptions(RequestOptionsFor(options_, 1));
    client.SinkToFile(file);
    client.Navigate2(address, 0, 0);
  } catch (const FileException&) {
  }
  // One that cannot be fetched or read allows everything.
  if (client.GetReturnCode() < 400) {
    const std::string text = ReadLocalFile(file).value_or(std::string());
    const std::string agent = options_.userAgent.empty() ? DefaultUserAgent() : options_.userAgent;
    admission_->SetRobots(RobotsRules::Parse(text, agent));
  }
  DeleteLocalFile(file);
}

void Project::LogRefusals(const std::u16string& logFolder) {
  const std::string limit = LimitReached();
  if (!limit.empty()) WriteDownloadLog(logFolder, StringUtility::FromUtf8("Stopped: " + limit), 1);
  if (admission_ == nullptr) return;
  for (int reason = 1; reason < static_cast<int>(Refusal::Count); ++reason) {
    const int count = admission_->Refused(static_cast<Refusal>(reason));
    if (count > 0) {
      WriteDownloadLog(
          logFolder,
          StringUtility::FromUtf8(AdmissionRules::Describe(static_cast<Refusal>(reason), count)),
          1);
    }
  }
}

void Project::RelinkUnstoredTargets(const std::u16string& downloadFolder) {
  // Every worker has ended: the entries and documents are read without locks.
  const std::int32_t count = queue_.nextNumber();
  std::vector<bool> unstored(static_cast<std::size_t>(std::max(count, 0)), false);
  bool any = false;
  for (std::int32_t n = 0; n < count; ++n) {
    const QueueEntry* entry = queue_.EntryByNumber(n);
    if (entry != nullptr && entry->outcome != EntryOutcome::Stored) {
      unstored[static_cast<std::size_t>(n)] = true;
      any = true;
    }
  }
  if (!any) return;
  std::lock_guard lock(documentsMutex_);
  std::vector<const DocumentRecord*> affected;
  for (const DocumentRecord& document : documents_) {
    const auto first = documentReferences_.begin() + document.firstReference;
    const bool refersToUnstored =
        std::any_of(first, first + document.referenceCount, [&](std::int32_t n) {
          return n >= 0 && n < count && unstored[static_cast<std::size_t>(n)];
        });
    if (refersToUnstored) affected.push_back(&document);
  }
  // Each document is a file of its own, and the queue is only read now.
  WorkShares::Run(affected.size(), WorkShares::CountFor(affected.size(), 16),
                  [&](std::size_t, std::size_t begin, std::size_t end) {
                    for (std::size_t i = begin; i < end; ++i) {
                      RelinkDocument(*affected[i], downloadFolder, unstored);
                    }
                  });
}

void Project::RelinkDocument(const DocumentRecord& document, const std::u16string& downloadFolder,
                             const std::vector<bool>& unstored) {
  const QueueEntry* entry = queue_.EntryByNumber(document.number);
  if (entry == nullptr || entry->outcome != EntryOutcome::Stored) return;
  const std::u16string path = LocalPathOf(*entry, downloadFolder);
  const std::optional<std::string> bytes = ReadLocalFile(path);
  if (!bytes) return;
  const CharsetTransferUtil& charsets = CharsetTransferUtil::GetInstance();
  const std::u16string& charset = documentCharsets_[document.charset];
  std::u16string text = charsets.CharsetToWide(charset, *bytes);
  const std::size_t slash = entry->localFile.rfind(u'\\');
  const std::u16string folder(slash == std::u16string_view::npos
                                  ? std::u16string_view()
                                  : entry->localFile.substr(0, slash));
  UnstoredReferenceRelinker relinker(queue_, folder, unstored);
  if (document.kind == DocumentKind::Page) {
    RunHtmlPasses(text, relinker);
  } else {
    RunStyleSheetPasses(text, relinker);
  }
  if (relinker.Relinked() == 0) return;
  const std::string encoded = charsets.WideToCharset(charset, text);
  if (encoded.empty() && !text.empty()) return;
  ReplaceLocalFile(path, encoded);
}

}  // namespace kestrine
