#include "cli/terminal_queue_list.h"

#include "presentation/queue_cells.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

std::string Utf8(std::u16string_view text) { return StringUtility::ToUtf8(text); }

}  // namespace

TerminalQueueList::TerminalQueueList(Verbosity verbosity, Console& console)
    : verbosity_(verbosity), console_(console) {}

void TerminalQueueList::InsertRow(int row, std::u16string address) {
  std::lock_guard lock(mutex_);
  inFlight_[row] = std::move(address);
}

void TerminalQueueList::DownloadEnded(const DownloadRow& download) {
  std::string address;
  {
    std::lock_guard lock(mutex_);
    const auto found = inFlight_.find(download.row());
    if (found == inFlight_.end()) return;
    address = Utf8(found->second);
    inFlight_.erase(found);
    if (download.state == TransferState::Failed) {
      if (failures_.size() < kFailuresKept) failures_.push_back({address, Utf8(download.reason)});
      if (download.row() == 0) startPageFailure_ = Utf8(download.reason);
    }
  }
  Print(address, download);
}

void TerminalQueueList::Print(const std::string& address, const DownloadRow& download) {
  const bool failed = download.state == TransferState::Failed;
  if (verbosity_ == Verbosity::SummaryOnly) return;
  if (verbosity_ == Verbosity::LiveLine && !failed) return;
  std::string line =
      (failed ? "Failure  " : "Finished ") + address + " -> " + Utf8(download.localFile);
  const std::u16string reason = QueueCells::Text(download, kReasonColumn);
  if (!reason.empty() && (failed || download.retries > 0)) line += " (" + Utf8(reason) + ")";
  console_.Print(line);
}

void TerminalQueueList::DeleteAllRows() {
  std::lock_guard lock(mutex_);
  inFlight_.clear();
}

std::vector<TerminalQueueList::Failure> TerminalQueueList::Failures() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

std::string TerminalQueueList::StartPageFailure() const {
  std::lock_guard lock(mutex_);
  return startPageFailure_;
}

}  // namespace kestrine
