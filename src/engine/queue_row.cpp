#include "engine/queue_row.h"

#include "engine/project.h"
#include "engine/queue_list.h"
#include "engine/string_table.h"
#include "engine/text_format.h"
#include "runtime/local_files.h"

namespace kestrine {

namespace {

std::u16string ProgressText(std::int64_t received, std::int64_t total) {
  if (total < 1) return u"0%";
  // 64-bit arithmetic, so large files never wrap to a negative percentage.
  const long long percent = static_cast<long long>(received) * 100 / total;
  return FormatText(u"%lld%%", percent);
}

void EndReport(Project& project, int row, bool succeeded, const std::u16string& path,
               const std::u16string& reason, const std::u16string& logLine) {
  IQueueList& list = project.list();
  const std::u16string shown = DisplayPath(path);
  list.SetCellText(row, kProgressColumn, StringTable::Load(succeeded ? kIdsFinished : kIdsFailure));
  list.SetCellText(row, kTargetFileColumn, shown);
  list.DownloadEnded({row, succeeded, shown, reason});
  project.WriteDownloadLog(logLine);
}

std::u16string LogLine(const std::u16string& path, const char* what, const std::u16string& reason) {
  std::u16string line = DisplayPath(path) + u" " + StringUtility::FromAscii(what);
  return reason.empty() ? line + u"." : line + u": " + reason;
}

// The progress, target and reason cells of an ended download and its log
// line; nothing for one still transferring.
void ReportEnd(Project& project, int row, TransferState state, const std::u16string& path,
               const std::u16string& reason) {
  if (state == Succeeded) {
    EndReport(project, row, true, path, {}, LogLine(path, "download successful", {}));
  } else if (state == Failed) {
    project.list().SetCellText(row, kReasonColumn, reason);
    EndReport(project, row, false, path, reason, LogLine(path, "download failed", reason));
  }
}

}  // namespace

void UpdateQueueRow(Project& project, int taskNumber, std::int64_t received, std::int64_t total,
                    TransferState state, const std::u16string& text, double elapsedSeconds,
                    const std::u16string& reason) {
  IQueueList& list = project.list();
  const int row = taskNumber - 1;
  if (!list.ShowsTransferCells()) {
    ReportEnd(project, row, state, text, reason);
    return;
  }
  const double kb = static_cast<double>(received) * (1.0 / 1024);
  list.SetCellText(row, kSizeColumn, FormatText(u"%.2fKB", kb));
  list.SetCellText(row, kSpeedColumn,
                   elapsedSeconds > 0 ? FormatText(u"%0.2fKB/s", kb / elapsedSeconds)
                                      : std::u16string(u"0KB/s"));
  if (state == Transferring) {
    list.SetCellText(row, kProgressColumn, ProgressText(received, total));
  } else {
    ReportEnd(project, row, state, text, reason);
  }
  list.SetCellText(row, kTimeColumn, FormatText(StringTable::Load(kIdsSeconds), elapsedSeconds));
  list.SetCellText(row, kNumberColumn, FormatText(u"%d", taskNumber));
  list.Repaint();
}

}  // namespace kestrine
