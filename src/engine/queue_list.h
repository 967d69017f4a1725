#pragma once

#include <string>

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
};
inline constexpr int kQueueColumnCount = 7;

class IQueueList {
 public:
  // An index past the end lands at the end.
  virtual void InsertRow(int row, std::u16string address) = 0;
  // A row that does not exist is left alone.
  virtual void SetCellText(int row, int column, std::u16string text) = 0;
  virtual void Repaint() = 0;
  virtual void DeleteAllRows() = 0;

 protected:
  ~IQueueList() = default;
};

}  // namespace kestrine
