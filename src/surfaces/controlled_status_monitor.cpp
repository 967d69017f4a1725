#include "surfaces/controlled_status_monitor.h"

#include "presentation/string_table.h"
#include "presentation/text_format.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

StringId TextOf(RunStatus status) {
  switch (status) {
    case RunStatus::Finished:
      return kIdsRunFinished;
    case RunStatus::Paused:
      return kIdsPaused;
    case RunStatus::Canceled:
      return kIdsCanceled;
    case RunStatus::Pausing:
      return kIdsPausing;
    case RunStatus::Canceling:
      return kIdsCanceling;
  }
  return kIdsRunFinished;
}

}  // namespace

void ControlledStatusMonitor::ShowRunStatus(RunStatus status) {
  SetStatusText(StringTable::Load(TextOf(status)));
}

void ControlledStatusMonitor::ShowTransfer(int taskNumber, std::int64_t received,
                                           std::u16string_view address) {
  SetTransferText(FormatText(StringTable::Load(kIdsDownloading), taskNumber,
                             static_cast<double>(received) * (1.0 / 1024),
                             StringUtility::ToUtf8(address).c_str()));
}

// The status first: the request may end the run at once, and its end's
// status must not be overwritten by the one that announced it.
void ControlledStatusMonitor::RequestCancel() {
  ShowRunStatus(RunStatus::Canceling);
  control_.RequestCancel();
}

void ControlledStatusMonitor::RequestPause() {
  ShowRunStatus(RunStatus::Pausing);
  control_.RequestPause();
}

}  // namespace kestrine
