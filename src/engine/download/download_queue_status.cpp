#include "engine/download/download_queue_status.h"

#include "engine/surface/i_status_monitor.h"
#include "engine/project.h"
#include "engine/download/queue_row.h"
#include "presentation/string_table.h"
#include "presentation/text_format.h"

namespace kestrine {

DownloadQueueStatus::DownloadQueueStatus(std::u16string address, int taskNumber, Project& project,
                                         std::chrono::steady_clock::time_point start)
    : taskNumber_(taskNumber), address_(std::move(address)), project_(project), start_(start) {}

void DownloadQueueStatus::OnProgress(std::int64_t total, std::int64_t received) {
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
  UpdateQueueRow(project_, taskNumber_, received, total, Transferring, u"", elapsed.count());
  if (++callCount_ % 5 == 0) {
    project_.monitor().SetTransferText(FormatText(StringTable::Load(kIdsDownloading), taskNumber_,
                                                  static_cast<double>(received) * (1.0 / 1024),
                                                  StringUtility::ToUtf8(address_).c_str()));
  }
}

int DownloadQueueStatus::ShouldStop() {
  if (project_.monitor().IsCancelRequested() != 0) return 1;
  if (project_.monitor().IsPauseRequested() != 0) return 1;
  return 0;
}

}  // namespace kestrine
