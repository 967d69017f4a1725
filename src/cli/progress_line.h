#pragma once

#include "cli/console.h"
#include "presentation/run_progress.h"

namespace kestrine {

class Project;
class TerminalStatusMonitor;

// Draws the live progress line: files finished, failed and waiting, bytes,
// speed, time, and the current transfer.
class ProgressLine {
 public:
  ProgressLine(Project& project, TerminalStatusMonitor& monitor, Console& console);
  void Draw();

 private:
  TerminalStatusMonitor& monitor_;
  Console& console_;
  RunProgress progress_;
};

}  // namespace kestrine
