#pragma once

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "surfaces/cell_queue_list.h"

namespace kestrine {

// The queue list kept in memory, safe to fill from many threads: each row's
// cells as the window would show them, and how its download stands as a
// value. Rows stand in key order; finding a row is a binary search.
class MemoryQueueList : public CellQueueList {
 public:
  using Row = std::array<std::u16string, kQueueCellCount>;

  virtual ~MemoryQueueList() = default;

  void InsertRow(int row, std::u16string address) override;
  void SetCellText(int row, int column, std::u16string text) override;
  void Repaint() override {}
  void DeleteAllRows() override;
  void DownloadUpdated(const DownloadRow& download) override;
  void DownloadEnded(const DownloadRow& download) override;
  void DownloadPaused(int row) override;

  std::vector<Row> Rows() const;
  std::size_t RowCount() const;
  // The rows whose download stands so.
  std::vector<Row> RowsIn(TransferState state) const;
  // Rows whose download stands so.
  int CountState(TransferState state) const;
  // Rows whose download a pause stopped (to be fetched again).
  int CountPaused() const;

 protected:
  // Called after a cell changed, with the row as it now stands, under no
  // lock of this list.
  virtual void OnRowChanged(int, const Row&) {}

 private:
  struct KeyedRow {
    int key;
    Row cells;
    TransferState state = TransferState::Transferring;
    bool paused = false;
  };
  std::vector<KeyedRow>::iterator Find(int key);
  void NoteState(int row, TransferState state, bool paused);

  mutable std::mutex mutex_;
  std::vector<KeyedRow> rows_;
};

}  // namespace kestrine
