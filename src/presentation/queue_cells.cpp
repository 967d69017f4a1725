#include "presentation/queue_cells.h"

#include "engine/download/download_report.h"
#include "presentation/string_table.h"
#include "presentation/text_format.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

std::u16string ProgressText(const DownloadRow& download) {
  if (download.state == TransferState::Succeeded) return StringTable::Load(kIdsFinished);
  if (download.state == TransferState::Failed) return StringTable::Load(kIdsFailure);
  if (download.total < 1) return u"0%";
  // 64-bit arithmetic, so large files never wrap to a negative percentage.
  const long long percent = static_cast<long long>(download.received) * 100 / download.total;
  return FormatText(u"%lld%%", percent);
}

double Kilobytes(const DownloadRow& download) {
  return static_cast<double>(download.received) * (1.0 / 1024);
}

}  // namespace

std::u16string QueueCells::Text(const DownloadRow& download, int column) {
  switch (column) {
    case kSizeColumn:
      return FormatText(u"%.2fKB", Kilobytes(download));
    case kSpeedColumn:
      return download.elapsedSeconds > 0
                 ? FormatText(u"%0.2fKB/s", Kilobytes(download) / download.elapsedSeconds)
                 : std::u16string(u"0KB/s");
    case kProgressColumn:
      return ProgressText(download);
    case kTimeColumn:
      return FormatText(StringTable::Load(kIdsSeconds), download.elapsedSeconds);
    case kNumberColumn:
      return FormatText(u"%d", download.taskNumber);
    case kTargetFileColumn:
      return std::u16string(download.localFile);
    case kReasonColumn: {
      // A page a browser rendered says so, and a file that took retries,
      // beside the reason of a failure.
      std::u16string reason(download.reason);
      if (download.rendered) reason = reason.empty() ? u"Rendered" : reason + u"; rendered";
      if (download.retries <= 0) return reason;
      const std::u16string retries = StringUtility::FromUtf8(RetriesText(download.retries));
      return reason.empty() ? retries : reason + u" (" + retries + u")";
    }
    default:
      return {};
  }
}

}  // namespace kestrine
