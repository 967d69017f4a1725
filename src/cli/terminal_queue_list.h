#pragma once

#include <array>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "cli/console.h"
#include "engine/surface/queue_list.h"

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
  // The terminal acts on how downloads end.
  void DeleteAllRows() override;
  void DownloadUpdated(const DownloadRow&) override {}
  void DownloadPaused(int) override {}
  void DownloadEnded(const DownloadRow& download) override;

  std::vector<Failure> Failures() const;
  // Why the start address (row 0) failed; empty when it did not.
  std::string StartPageFailure() const;

 private:
  void Print(const std::string& address, const DownloadRow& download);

  const Verbosity verbosity_;
  Console& console_;
  mutable std::mutex mutex_;
  // The address of each download under way, by row.
  std::map<int, std::u16string> inFlight_;
  std::vector<Failure> failures_;
  std::string startPageFailure_;
};

}  // namespace kestrine
