#pragma once

#include <array>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "cli/console.h"
#include "engine/queue_list.h"

namespace kestrine {

// How much the terminal is told while a run goes on.
enum class Verbosity { LiveLine, LinePerDownload, SummaryOnly };

// The queue list of the headless front end. It keeps only the rows still in
// flight, so a long run costs no memory per finished download, prints a line
// for each ended download when asked to, and remembers the first failures
// for the summary.
class TerminalQueueList : public IQueueList {
 public:
  struct Failure {
    std::string address;
    std::string reason;
  };
  static constexpr std::size_t kFailuresKept = 20;

  TerminalQueueList(Verbosity verbosity, Console& console);

  void InsertRow(int row, std::u16string address) override;
  void SetCellText(int row, int column, std::u16string text) override;
  void Repaint() override {}
  bool ShowsTransferCells() const override { return false; }
  void DeleteAllRows() override;

  std::vector<Failure> Failures() const;
  // Why the start address (row 0) failed; empty when it did not.
  std::string StartPageFailure() const;

 private:
  using Row = std::array<std::u16string, kQueueCellCount>;
  void Ended(int row, const Row& cells);

  const Verbosity verbosity_;
  Console& console_;
  const std::u16string finished_;
  const std::u16string failure_;
  mutable std::mutex mutex_;
  std::map<int, Row> inFlight_;
  std::vector<Failure> failures_;
  std::string startPageFailure_;
};

}  // namespace kestrine
