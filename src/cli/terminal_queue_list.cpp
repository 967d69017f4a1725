#include "cli/terminal_queue_list.h"

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

void TerminalQueueList::DownloadEnded(const DownloadEnd& end) {
  std::string address;
  {
    std::lock_guard lock(mutex_);
    const auto found = inFlight_.find(end.row);
    if (found == inFlight_.end()) return;
    address = Utf8(found->second);
    inFlight_.erase(found);
    if (!end.succeeded) {
      if (failures_.size() < kFailuresKept) failures_.push_back({address, Utf8(end.reason)});
      if (end.row == 0) startPageFailure_ = Utf8(end.reason);
    }
  }
  Print(!end.succeeded, address, end);
}

void TerminalQueueList::Print(bool failed, const std::string& address, const DownloadEnd& end) {
  if (verbosity_ == Verbosity::SummaryOnly) return;
  if (verbosity_ == Verbosity::LiveLine && !failed) return;
  std::string line = (failed ? "Failure  " : "Finished ") + address + " -> " + Utf8(end.localFile);
  if (failed && !end.reason.empty()) line += " (" + Utf8(end.reason) + ")";
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
