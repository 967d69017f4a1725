#pragma once

#include "engine/surface/i_status_monitor.h"

namespace kestrine {

// The project lock that the status monitor holds, in the shape the standard
// guards take, so it is only ever held by a scope: a hook that throws while
// it is held cannot leave it locked.
class MonitorMutex {
 public:
  explicit MonitorMutex(IStatusMonitor& monitor) : monitor_(monitor) {}
  void lock() const { monitor_.Lock(); }
  void unlock() const { monitor_.Unlock(); }

 private:
  IStatusMonitor& monitor_;
};

}  // namespace kestrine
