#pragma once

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "engine/queue_list.h"

namespace kestrine {

// The queue list kept in memory, safe to fill from many threads.
class MemoryQueueList : public IQueueList {
 public:
  using Row = std::array<std::u16string, kQueueColumnCount>;

  virtual ~MemoryQueueList() = default;

  void InsertRow(int row, std::u16string address) override;
  void SetCellText(int row, int column, std::u16string text) override;
  void Repaint() override {}
  void DeleteAllRows() override;

  std::vector<Row> Rows() const;
  std::size_t RowCount() const;

 protected:
  // Called after a cell changed, with the row as it now stands, under no
  // lock of this list.
  virtual void OnRowChanged(int, const Row&) {}

 private:
  mutable std::mutex mutex_;
  std::vector<Row> rows_;
};

}  // namespace kestrine
