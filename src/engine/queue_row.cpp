#include "engine/queue_row.h"

#include "config/setting_util.h"
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

void EndReport(Project& project, int row, int stringId, const std::u16string& path,
               const char* logFormat) {
  IQueueList& list = project.list();
  const std::u16string shown = DisplayPath(path);
  list.SetCellText(row, kProgressColumn, StringTable::Load(stringId));
  list.SetCellText(row, kTargetFileColumn, shown);
  project.WriteDownloadLog(
      SettingUtil::GetInstance().GetDownloadFolder(),
      FormatText(StringUtility::FromAscii(logFormat), StringUtility::ToUtf8(shown).c_str()), 1);
}

}  // namespace

void UpdateQueueRow(Project& project, int taskNumber, std::int64_t received, std::int64_t total,
                    TransferState state, const std::u16string& text, double elapsedSeconds) {
  IQueueList& list = project.list();
  const int row = taskNumber - 1;
  const double kb = static_cast<double>(received) * (1.0 / 1024);
  list.SetCellText(row, kSizeColumn, FormatText(u"%.2fKB", kb));
  list.SetCellText(row, kSpeedColumn,
                   elapsedSeconds > 0 ? FormatText(u"%0.2fKB/s", kb / elapsedSeconds)
                                      : std::u16string(u"0KB/s"));
  switch (state) {
    case Succeeded:
      EndReport(project, row, kIdsFinished, text, "%s download successful.");
      break;
    case Failed:
      EndReport(project, row, kIdsFailure, text, "%s download failed.");
      break;
    default:
      list.SetCellText(row, kProgressColumn, ProgressText(received, total));
  }
  list.SetCellText(row, kTimeColumn, FormatText(StringTable::Load(kIdsSeconds), elapsedSeconds));
  list.SetCellText(row, kNumberColumn, FormatText(u"%d", taskNumber));
  list.Repaint();
}

}  // namespace kestrine
