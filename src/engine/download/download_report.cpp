#include "engine/download/download_report.h"

#include "engine/journal/download_log.h"
#include "engine/surface/i_status_monitor.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"

namespace kestrine {

std::string RetriesText(int retries) {
  return "after " + std::to_string(retries) + (retries == 1 ? " retry" : " retries");
}

void DownloadReport::Inserted(int taskNumber, std::u16string address) {
  list_.InsertRow(taskNumber - 1, std::move(address));
}

void DownloadReport::Progress(const DownloadRow& row) { list_.DownloadUpdated(row); }

void DownloadReport::Transfer(int taskNumber, std::int64_t received, std::u16string_view address) {
  monitor_.ShowTransfer(taskNumber, received, address);
}

void DownloadReport::Ended(const DownloadRow& row, const std::u16string& path) {
  const std::u16string shown = DisplayPath(path);
  DownloadRow ended = row;
  ended.localFile = shown;
  if (ended.state != TransferState::Failed) ended.reason = {};
  list_.DownloadEnded(ended);
  std::u16string line = shown + (ended.state == TransferState::Succeeded ? u" download successful"
                                                                         : u" download failed");
  if (ended.retries > 0) line += u" " + StringUtility::FromUtf8(RetriesText(ended.retries));
  log_.Write(ended.reason.empty() ? line + u"." : line + u": " + std::u16string(ended.reason));
}

void DownloadReport::Paused(int taskNumber) { list_.DownloadPaused(taskNumber - 1); }

void DownloadReport::Log(const std::u16string& line) { log_.Write(line); }

void DownloadProgress::OnProgress(std::int64_t total, std::int64_t received) {
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
  report_.Progress({taskNumber_, TransferState::Transferring, received, total, elapsed.count()});
  if (++reports_ % 5 == 0) report_.Transfer(taskNumber_, received, address_);
}

int DownloadProgress::ShouldStop() {
  return monitor_.IsCancelRequested() || monitor_.IsPauseRequested() ? 1 : 0;
}

}  // namespace kestrine
