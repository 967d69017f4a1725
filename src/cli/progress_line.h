#pragma once

#include <chrono>

#include "cli/console.h"

namespace kestrine {

class Project;
class TerminalStatusMonitor;

// Draws the live progress line: files done of known, bytes, rate and the
// current transfer.
class ProgressLine {
 public:
  ProgressLine(Project& project, TerminalStatusMonitor& monitor, Console& console);
  void Draw();

 private:
  Project& project_;
  TerminalStatusMonitor& monitor_;
  Console& console_;
  const std::chrono::steady_clock::time_point start_;
};

}  // namespace kestrine
