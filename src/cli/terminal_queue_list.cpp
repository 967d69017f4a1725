#include "cli/terminal_queue_list.h"

#include "engine/string_table.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

std::string Utf8(const std::u16string& text) { return StringUtility::ToUtf8(text); }

}  // namespace

TerminalQueueList::TerminalQueueList(Verbosity verbosity, Console& console)
    : verbosity_(verbosity),
      console_(console),
      finished_(StringTable::Load(kIdsFinished)),
      failure_(StringTable::Load(kIdsFailure)) {}

void TerminalQueueList::InsertRow(int row, std::u16string address) {
  std::lock_guard lock(mutex_);
  Row& cells = inFlight_[row];
  cells = Row{};
  cells[kAddressColumn] = std::move(address);
}

void TerminalQueueList::SetCellText(int row, int column, std::u16string text) {
  if (column < 0 || column >= kQueueCellCount) return;
  Row ended;
  {
    std::lock_guard lock(mutex_);
    const auto found = inFlight_.find(row);
    if (found == inFlight_.end()) return;
    found->second[column] = std::move(text);
    // The target file is the last cell an ended download writes.
    const Row& cells = found->second;
    const bool end = cells[kProgressColumn] == finished_ || cells[kProgressColumn] == failure_;
    if (column != kTargetFileColumn || !end) return;
    ended = cells;
    inFlight_.erase(found);
    if (ended[kProgressColumn] == failure_) {
      if (failures_.size() < kFailuresKept) {
        failures_.push_back({Utf8(ended[kAddressColumn]), Utf8(ended[kReasonColumn])});
      }
      if (row == 0) startPageFailure_ = Utf8(ended[kReasonColumn]);
    }
  }
  Ended(row, ended);
}

void TerminalQueueList::Ended(int, const Row& cells) {
  const bool failed = cells[kProgressColumn] == failure_;
  if (verbosity_ == Verbosity::SummaryOnly) return;
  if (verbosity_ == Verbosity::LiveLine && !failed) return;
  std::string line = (failed ? "Failure  " : "Finished ") + Utf8(cells[kAddressColumn]) + " -> " +
                     Utf8(cells[kTargetFileColumn]);
  if (failed && !cells[kReasonColumn].empty()) line += " (" + Utf8(cells[kReasonColumn]) + ")";
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
