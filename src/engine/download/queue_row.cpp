#include "engine/download/queue_row.h"

#include "engine/project.h"
#include "presentation/queue_cells.h"
#include "engine/surface/queue_list.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

std::u16string LogLine(const std::u16string& path, const char* what, const std::u16string& reason,
                       int retries) {
  std::u16string line = DisplayPath(path) + u" " + StringUtility::FromAscii(what);
  if (retries > 0) line += u" " + StringUtility::FromUtf8(QueueCells::RetriesText(retries));
  return reason.empty() ? line + u"." : line + u": " + reason;
}

}  // namespace

void UpdateQueueRow(Project& project, int taskNumber, std::int64_t received, std::int64_t total,
                    TransferState state, const std::u16string& text, double elapsedSeconds,
                    const std::u16string& reason, int retries) {
  DownloadRow download{taskNumber, state, received, total, elapsedSeconds, {}, {}, retries};
  if (state == Transferring) {
    project.list().DownloadUpdated(download);
    return;
  }
  const std::u16string shown = DisplayPath(text);
  download.localFile = shown;
  if (state == Failed) download.reason = reason;
  project.list().DownloadEnded(download);
  project.WriteDownloadLog(state == Succeeded ? LogLine(text, "download successful", {}, retries)
                                              : LogLine(text, "download failed", reason, retries));
}

}  // namespace kestrine
