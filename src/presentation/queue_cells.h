#pragma once

#include <string>

#include "engine/surface/queue_list.h"

namespace kestrine {

// The texts of a download's cells as the Queue page shows them: "12.50KB",
// "3.10KB/s", "42%" or "Finished" or "Failure", "0.25 s", "7", the target
// file and the reason. Empty for the address, which the row holds itself.
class QueueCells {
 public:
  static std::u16string Text(const DownloadRow& download, int column);
  // "after 1 retry", "after 3 retries".
  static std::string RetriesText(int retries);
};

}  // namespace kestrine
