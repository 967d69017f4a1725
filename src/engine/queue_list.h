#pragma once

#include <string>
#include <string_view>

namespace kestrine {

// The Queue page's list as the engine fills it. Row n - 1 belongs to the
// download numbered n. Columns by index:
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

// How a download ended, told after its cells are written, for lists that
// act on the outcome rather than show it.
struct DownloadEnd {
  int row = 0;
  bool succeeded = false;
  std::u16string_view localFile;  // as the target cell shows it
  std::u16string_view reason;     // why it failed; empty when it did not
};

// Rows are keyed by their row index, that is by task number - 1, whatever
// order workers insert them in: the list shows them ordered by that key, an
// update finds its row by the key, and inserting a key that is already
// there starts that row afresh (a download continued after a pause).
class IQueueList {
 public:
  virtual void InsertRow(int row, std::u16string address) = 0;
  // A row that does not exist is left alone.
  virtual void SetCellText(int row, int column, std::u16string text) = 0;
  virtual void Repaint() = 0;
  virtual void DeleteAllRows() = 0;
  // False for a list that shows only how each download ended (a terminal):
  // it is then spared the size, speed, progress, time and number cells,
  // which cost a few formatted numbers per download and per progress report.
  virtual bool ShowsTransferCells() const { return true; }
  virtual void DownloadEnded(const DownloadEnd&) {}

 protected:
  ~IQueueList() = default;
};

}  // namespace kestrine
