#pragma once

#include <string>

#include "engine/surface/queue_list.h"
#include "presentation/queue_cells.h"

namespace kestrine {

// A queue list that shows cells: it writes each report into the described
// cell formats (QueueCells) through SetCellText.
class CellQueueList : public IQueueList {
 public:
  // A row that does not exist is left alone.
  virtual void SetCellText(int row, int column, std::u16string text) = 0;
  virtual void Repaint() = 0;

  void DownloadUpdated(const DownloadRow& download) override;
  void DownloadEnded(const DownloadRow& download) override;
  void DownloadPaused(int row) override;

 protected:
  ~CellQueueList() = default;
};

}  // namespace kestrine
