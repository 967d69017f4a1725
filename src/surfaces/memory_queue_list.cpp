#include "surfaces/memory_queue_list.h"

#include <algorithm>

namespace kestrine {

std::vector<MemoryQueueList::KeyedRow>::iterator MemoryQueueList::Find(int key) {
  return std::lower_bound(rows_.begin(), rows_.end(), key,
                          [](const KeyedRow& row, int wanted) { return row.key < wanted; });
}

void MemoryQueueList::InsertRow(int row, std::u16string address) {
  Row inserted;
  inserted[kAddressColumn] = std::move(address);
  {
    std::lock_guard lock(mutex_);
    const auto at = Find(row);
    if (at != rows_.end() && at->key == row) {
      at->cells = inserted;
      at->state = TransferState::Transferring;
      at->paused = false;
    } else {
      rows_.insert(at, KeyedRow{row, inserted, TransferState::Transferring});
    }
  }
  OnRowChanged(row, inserted);
}

void MemoryQueueList::SetCellText(int row, int column, std::u16string text) {
  if (column < 0 || column >= kQueueCellCount) return;
  Row changed;
  {
    std::lock_guard lock(mutex_);
    const auto at = Find(row);
    if (at == rows_.end() || at->key != row) return;
    at->cells[column] = std::move(text);
    changed = at->cells;
  }
  OnRowChanged(row, changed);
}

void MemoryQueueList::NoteState(int row, TransferState state, bool paused) {
  std::lock_guard lock(mutex_);
  const auto at = Find(row);
  if (at == rows_.end() || at->key != row) return;
  at->state = state;
  at->paused = paused;
}

void MemoryQueueList::DownloadUpdated(const DownloadRow& download) {
  NoteState(download.row(), download.state, false);
  CellQueueList::DownloadUpdated(download);
}

void MemoryQueueList::DownloadEnded(const DownloadRow& download) {
  NoteState(download.row(), download.state, false);
  CellQueueList::DownloadEnded(download);
}

void MemoryQueueList::DownloadPaused(int row) {
  NoteState(row, TransferState::Transferring, true);
  CellQueueList::DownloadPaused(row);
}

int MemoryQueueList::CountState(TransferState state) const {
  std::lock_guard lock(mutex_);
  int count = 0;
  for (const KeyedRow& row : rows_) count += row.state == state ? 1 : 0;
  return count;
}

std::vector<MemoryQueueList::Row> MemoryQueueList::RowsIn(TransferState state) const {
  std::lock_guard lock(mutex_);
  std::vector<Row> rows;
  for (const KeyedRow& row : rows_) {
    if (row.state == state) rows.push_back(row.cells);
  }
  return rows;
}

int MemoryQueueList::CountPaused() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(
      std::count_if(rows_.begin(), rows_.end(), [](const KeyedRow& row) { return row.paused; }));
}

void MemoryQueueList::DeleteAllRows() {
  std::lock_guard lock(mutex_);
  rows_.clear();
}

std::vector<MemoryQueueList::Row> MemoryQueueList::Rows() const {
  std::lock_guard lock(mutex_);
  std::vector<Row> rows;
  rows.reserve(rows_.size());
  for (const KeyedRow& row : rows_) rows.push_back(row.cells);
  return rows;
}

std::size_t MemoryQueueList::RowCount() const {
  std::lock_guard lock(mutex_);
  return rows_.size();
}

}  // namespace kestrine
