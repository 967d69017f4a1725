#pragma once

#include <string>

#include "engine/surface/queue_list.h"

namespace kestrine {

// The Queue page's columns by index.
enum QueueColumn {
  kAddressColumn = 0,
  kSizeColumn = 1,
  kSpeedColumn = 2,
  kProgressColumn = 3,
  kTimeColumn = 4,
  kNumberColumn = 5,
  kTargetFileColumn = 6,
  // Not a column of its own: why a download failed, shown with its
  // "Failure" (a tool tip in the window, the line in a terminal).
  kReasonColumn = 7,
};
inline constexpr int kQueueColumnCount = 7;
inline constexpr int kQueueCellCount = 8;

// The texts of a download's cells as the Queue page shows them: "12.50KB",
// "3.10KB/s", "42%" or "Finished" or "Failure", "0.25 s", "7", the target
// file and the reason. Empty for the address, which the row holds itself.
class QueueCells {
 public:
  static std::u16string Text(const DownloadRow& download, int column);
};

}  // namespace kestrine
