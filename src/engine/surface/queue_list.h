#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrine {

// Where a download stands, as its row shows it.
enum class TransferState { Transferring = 1, Succeeded = 2, Failed = 3 };

// A download as its row reports it: values, which each front end writes in
// its own way (the described cell formats are QueueCells).
struct DownloadRow {
  int taskNumber = 0;  // the row is taskNumber - 1
  TransferState state = TransferState::Transferring;
  std::int64_t received = 0;
  std::int64_t total = 0;
  double elapsedSeconds = 0;
  std::u16string_view localFile{};  // as shown; ended downloads only
  std::u16string_view reason{};     // why it failed; failures only
  int retries = 0;                  // times it was tried again; ended downloads only
  bool rendered = false;            // stored as a browser rendered it
  int row() const { return taskNumber - 1; }
};

// The Queue page's list as the engine fills it. Row n - 1 belongs to the
// download numbered n. Rows are keyed by their row index, whatever order
// workers insert them in: the list shows them ordered by that key, an update
// finds its row by the key, and inserting a key that is already there starts
// that row afresh (a download continued after a pause). Called from any
// thread; a report that finds no row is left alone.
class IQueueList {
 public:
  virtual void InsertRow(int row, std::u16string address) = 0;
  virtual void DownloadUpdated(const DownloadRow& download) = 0;
  virtual void DownloadEnded(const DownloadRow& download) = 0;
  // A pause ended the download early; it waits to be fetched again.
  virtual void DownloadPaused(int row) = 0;
  virtual void DeleteAllRows() = 0;

 protected:
  ~IQueueList() = default;
};

}  // namespace kestrine
