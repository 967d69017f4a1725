#include "engine/memory_queue_list.h"

#include <algorithm>

namespace kestrine {

void MemoryQueueList::InsertRow(int row, std::u16string address) {
  Row inserted;
  inserted[kAddressColumn] = std::move(address);
  int at = 0;
  {
    std::lock_guard lock(mutex_);
    at = std::clamp(row, 0, static_cast<int>(rows_.size()));
    rows_.insert(rows_.begin() + at, inserted);
  }
  OnRowChanged(at, inserted);
}

void MemoryQueueList::SetCellText(int row, int column, std::u16string text) {
  if (column < 0 || column >= kQueueColumnCount) return;
  Row changed;
  {
    std::lock_guard lock(mutex_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[row][column] = std::move(text);
    changed = rows_[row];
  }
  OnRowChanged(row, changed);
}

void MemoryQueueList::DeleteAllRows() {
  std::lock_guard lock(mutex_);
  rows_.clear();
}

std::vector<MemoryQueueList::Row> MemoryQueueList::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::size_t MemoryQueueList::RowCount() const {
  std::lock_guard lock(mutex_);
  return rows_.size();
}

}  // namespace kestrine
