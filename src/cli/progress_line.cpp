#include "cli/progress_line.h"

#include "cli/terminal_status_monitor.h"
#include "runtime/string_utility.h"

namespace kestrine {

ProgressLine::ProgressLine(Project& project, TerminalStatusMonitor& monitor, Console& console)
    : monitor_(monitor), console_(console), progress_(project) {}

void ProgressLine::Draw() {
  console_.DrawLiveLine(RunProgress::Line(progress_.Take()) + "  " +
                        StringUtility::ToUtf8(monitor_.StatusText()));
}

}  // namespace kestrine
