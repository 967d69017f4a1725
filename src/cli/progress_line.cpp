#include "cli/progress_line.h"

#include "cli/terminal_status_monitor.h"
#include "engine/project.h"
#include "runtime/string_utility.h"

namespace kestrine {

ProgressLine::ProgressLine(Project& project, TerminalStatusMonitor& monitor, Console& console)
    : project_(project),
      monitor_(monitor),
      console_(console),
      start_(std::chrono::steady_clock::now()) {}

void ProgressLine::Draw() {
  const TransferTotals& totals = project_.totals();
  const int done = totals.succeeded + totals.failed;
  const long long bytes = totals.bytes;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::string rate = HumanBytes(seconds > 0 ? static_cast<long long>(bytes / seconds) : 0);
  console_.DrawLiveLine("[" + std::to_string(done) + "/" +
                        std::to_string(project_.queue().KnownCount()) + "] " + HumanBytes(bytes) +
                        "  " + rate + "/s  " + StringUtility::ToUtf8(monitor_.StatusText()));
}

}  // namespace kestrine
