#include "engine/download_task.h"

#include <algorithm>
#include <chrono>

#include "config/setting_util.h"
#include "encoding/ansi_code_page.h"
#include "encoding/charset_transfer_util.h"
#include "engine/download_queue_status.h"
#include "engine/i_status_monitor.h"
#include "engine/project.h"
#include "engine/queue_list.h"
#include "engine/queue_row.h"
#include "engine/run_state.h"
#include "engine/text_format.h"
#include "runtime/file_exception.h"
#include "runtime/http_client.h"
#include "runtime/local_files.h"
#include "runtime/string_utility.h"
#include "site/html_scanner.h"
#include "site/style_sheet_scanner.h"

namespace kestrine {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct LocalTarget {
  std::u16string folder;
  std::u16string path;
};

LocalTarget PlaceEntry(Project& project, const QueueEntry& entry, const std::u16string& root,
                       int taskNumber) {
  const AddressQueue& queue = project.queue();
  const AddressParts parts = SplitAddress(NormalizeAddress(entry.address));
  LocalTarget target;
  target.folder = LocalFolderFor(queue.mode(), queue.siteHost(), parts, root);
  if (!FolderExist(target.folder)) CreateFolders(target.folder);
  target.path = LocalFilePath(target.folder, LocalFileNameFor(queue.mode(), parts, taskNumber));
  return target;
}

// The rewritten text in its own charset over the received file. A text the
// charset cannot hold (a page declared UTF-16, say) comes back empty; the
// received bytes then stay rather than being wiped.
void WriteTextBack(const std::u16string& path, const std::u16string& text,
                   const std::u16string& charset) {
  const std::string bytes = CharsetTransferUtil::GetInstance().WideToCharset(charset, text);
  if (bytes.empty() && !text.empty()) return;
  WriteLocalFile(path, bytes, WriteMode::Truncate);
}

// Reads, scans and writes back a page or style sheet. A page redirected
// away from the site, and every other type, stays as received.
void RewriteTextResponse(Project& project, HttpClient& client, const QueueEntry& entry,
                         const std::u16string& root, const LocalTarget& target,
                         const std::u16string& type) {
  const AddressQueue& queue = project.queue();
  const bool scanning = queue.mode() != RetrieveFiles;
  if (StringUtility::StartsWith(type, u"text/css")) {
    std::u16string text = client.GetSource();
    const std::u16string charset = AnsiCodePage::ToWide(client.GetCharset());
    if (scanning) {
      ScanStyleSheetReferences(project, text, charset, entry.address, root, target.folder);
    }
    WriteTextBack(target.path, text, charset);
  } else if (StringUtility::StartsWith(type, u"text/html")) {
    const std::u16string location = client.GetLocationURL();
    if (location != entry.address && location.find(queue.sitePrefix()) == std::u16string::npos) {
      return;
    }
    std::u16string text = client.GetSource();
    const std::u16string charset = AnsiCodePage::ToWide(client.GetDefaultCharset());
    if (scanning && StringUtility::StartsWith(entry.address, queue.sitePrefix())) {
      ScanHtmlReferences(project, text, charset, entry.address, root, target.folder);
    }
    WriteTextBack(target.path, text, charset);
  }
}

void ReportFileError(Project& project, int taskNumber, const LocalTarget& target,
                     const FileException& error, Clock::time_point start) {
  project.runState().ShowMessageBox(
      FormatText(u"Cannot write the file %s: %s", NativePath(target.path).c_str(), error.what()),
      u"Kestrine", MessageIcon::Error);
  ++project.totals().failed;
  UpdateQueueRow(project, taskNumber, 0, 0, Failed, target.path, SecondsSince(start));
}

}  // namespace

DownloadTaskRunnable::DownloadTaskRunnable() : RootMonitor("") {}

DefaultInfo* DownloadTaskRunnable::CreateInfo() const {
  return new DefaultInfo("", 0, 0, false, 0, false);
}

void DownloadTaskRunnable::Run() {
  if (project_ == nullptr) return;
  IStatusMonitor& monitor = project_->monitor();
  QueueEntry* entry = project_->queue().TakeNextPending();
  while (entry != nullptr) {
    DownloadAddress(*project_, entry->taskNumber(), *entry, downloadFolder_);
    entry->state = Done;
    if (monitor.IsCancelRequested() != 0 || monitor.IsPauseRequested() != 0) return;
    entry = project_->queue().TakeNextPending();
  }
}

void DownloadAddress(Project& project, int taskNumber, QueueEntry& entry,
                     std::u16string downloadFolder) {
  // 1. The clock for every elapsed time of this download.
  const Clock::time_point start = Clock::now();
  // 2. A cancel before the start leaves no trace.
  if (project.monitor().IsCancelRequested() != 0) return;
  entry.state = Taken;
  // 3. Place the local copy and show the row.
  const LocalTarget target = PlaceEntry(project, entry, downloadFolder, taskNumber);
  project.list().InsertRow(taskNumber - 1, entry.address);
  UpdateQueueRow(project, taskNumber, 0, 0, Transferring, u"", SecondsSince(start));
  // 4. Fetch straight into the file.
  DownloadQueueStatus status(entry.address, taskNumber, project, start);
  HttpClient client;
  try {
    const int timeOut = std::max(1, SettingUtil::GetInstance().record().timeOut);
    client.SetTimeout(timeOut * 1000);
    client.SetDownloadStatus(&status);
    client.SinkToFile(target.path);
    client.Navigate2(entry.address, 0, 0);
  } catch (const FileException& error) {
    ReportFileError(project, taskNumber, target, error, start);
    return;
  }
  // 5. Judge the answer; a failed or cut-short transfer leaves no file.
  const std::int64_t length = client.GetContentLength();
  if (client.GetReturnCode() >= 400) {
    DeleteLocalFile(target.path);
    ++project.totals().failed;
    UpdateQueueRow(project, taskNumber, length, length, Failed, target.path, SecondsSince(start));
    return;
  }
  UpdateQueueRow(project, taskNumber, length, length, Transferring, u"", SecondsSince(start));
  // 6. Pages and style sheets are rewritten; everything else stays as received.
  const std::u16string type =
      StringUtility::TrimWhiteSpace(AnsiCodePage::ToWide(client.GetHeaderValue("Content-Type")));
  RewriteTextResponse(project, client, entry, downloadFolder, target, type);
  // 7. Done.
  entry.state = Done;
  ++project.totals().succeeded;
  project.totals().bytes += client.GetReceivedBytes();
  UpdateQueueRow(project, taskNumber, length, length, Succeeded, target.path, SecondsSince(start));
}

}  // namespace kestrine
