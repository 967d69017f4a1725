#include "engine/surface/queue_list.h"

#include "presentation/queue_cells.h"

namespace kestrine {

namespace {

void SetCells(IQueueList& list, const DownloadRow& download, std::initializer_list<int> columns) {
  for (const int column : columns) {
    list.SetCellText(download.row(), column, QueueCells::Text(download, column));
  }
}

}  // namespace

void IQueueList::DownloadUpdated(const DownloadRow& download) {
  SetCells(*this, download,
           {kSizeColumn, kSpeedColumn, kProgressColumn, kTimeColumn, kNumberColumn});
  Repaint();
}

void IQueueList::DownloadEnded(const DownloadRow& download) {
  SetCells(*this, download, {kSizeColumn, kSpeedColumn});
  // The reason goes in before the "Failure" that shows it.
  if (download.state == Failed || download.retries > 0) SetCells(*this, download, {kReasonColumn});
  SetCells(*this, download, {kProgressColumn, kTargetFileColumn, kTimeColumn, kNumberColumn});
  Repaint();
}

}  // namespace kestrine
