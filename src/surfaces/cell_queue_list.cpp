#include "surfaces/cell_queue_list.h"

#include "presentation/string_table.h"

namespace kestrine {

namespace {

void SetCells(CellQueueList& list, const DownloadRow& download,
              std::initializer_list<int> columns) {
  for (const int column : columns) {
    list.SetCellText(download.row(), column, QueueCells::Text(download, column));
  }
}

}  // namespace

void CellQueueList::DownloadUpdated(const DownloadRow& download) {
  SetCells(*this, download,
           {kSizeColumn, kSpeedColumn, kProgressColumn, kTimeColumn, kNumberColumn});
  Repaint();
}

void CellQueueList::DownloadEnded(const DownloadRow& download) {
  SetCells(*this, download, {kSizeColumn, kSpeedColumn});
  // The reason goes in before the "Failure" that shows it.
  if (download.state == TransferState::Failed || download.retries > 0 || download.rendered) {
    SetCells(*this, download, {kReasonColumn});
  }
  SetCells(*this, download, {kProgressColumn, kTargetFileColumn, kTimeColumn, kNumberColumn});
  Repaint();
}

void CellQueueList::DownloadPaused(int row) {
  SetCellText(row, kProgressColumn, StringTable::Load(kIdsPaused));
  Repaint();
}

}  // namespace kestrine
