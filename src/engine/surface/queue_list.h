#pragma once

#include <cstdint>
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

enum TransferState { Transferring = 1, Succeeded = 2, Failed = 3 };

// A download as its row reports it. Lists that show cells write them in
// the described formats (QueueCells); others act on the values.
struct DownloadRow {
  int taskNumber = 0;  // the row is taskNumber - 1
  TransferState state = Transferring;
  std::int64_t received = 0;
  std::int64_t total = 0;
  double elapsedSeconds = 0;
  std::u16string_view localFile;  // as shown; ended downloads only
  std::u16string_view reason;     // why it failed; failures only
  int retries = 0;                // times it was tried again; ended downloads only
  int row() const { return taskNumber - 1; }
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
  // How the engine reports a download under way and its end. By default
  // they become cells: size, speed, progress, time and number, and at the
  // end the reason of a failure and the target file.
  virtual void DownloadUpdated(const DownloadRow& download);
  virtual void DownloadEnded(const DownloadRow& download);

 protected:
  ~IQueueList() = default;
};

}  // namespace kestrine
