#pragma once

#include <string>

#include "engine/surface/run_summary.h"

namespace kestrine {

enum class ButtonPhase { Running, Continued, Ended, Paused };

// The Queue page's buttons and the notices of a run, as the engine drives
// them.
class IRunState {
 public:
  virtual void SetButtonPhase(ButtonPhase phase) = 0;
  // How a run went, at its end (not for a cancelled run).
  virtual void ShowEndNotice(const RunSummary& summary) = 0;
  // A run that could not begin, and why (another run holds the copy).
  virtual void ShowRunRefused(const std::string& why) = 0;

 protected:
  ~IRunState() = default;
};

// Opens a folder the way the desktop does; the one platform call a run
// makes at its end.
class IFolderOpener {
 public:
  virtual void OpenFolder(std::u16string folder) = 0;

 protected:
  ~IFolderOpener() = default;
};

}  // namespace kestrine
