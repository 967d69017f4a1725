#include "surfaces/controlled_status_monitor.h"

#include "presentation/string_table.h"

namespace kestrine {

void ControlledStatusMonitor::RequestCancel() {
  control_.RequestCancel();
  SetStatusText(StringTable::Load(kIdsCanceling));
}

void ControlledStatusMonitor::RequestPause() {
  control_.RequestPause();
  SetStatusText(StringTable::Load(kIdsPausing));
}

int ControlledStatusMonitor::ClearRequests() {
  control_.ClearRequests();
  return 0;
}

}  // namespace kestrine
