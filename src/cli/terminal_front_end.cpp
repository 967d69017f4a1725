#include "cli/terminal_front_end.h"

#include "engine/project.h"
#include "engine/string_table.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

std::string Utf8(const std::u16string& text) { return StringUtility::ToUtf8(text); }

}  // namespace

std::string HumanBytes(long long bytes) {
  char text[32];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%lld B", bytes);
  } else if (bytes < 1024ll * 1024) {
    std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024.0);
  } else if (bytes < 1024ll * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024));
  } else {
    std::snprintf(text, sizeof text, "%.2f GB", bytes / (1024.0 * 1024 * 1024));
  }
  return text;
}

TerminalQueueList::TerminalQueueList(Verbosity verbosity, std::FILE* out)
    : verbosity_(verbosity),
      out_(out),
      finished_(StringTable::Load(kIdsFinished)),
      failure_(StringTable::Load(kIdsFailure)) {}

void TerminalQueueList::OnRowChanged(int, const Row& cells) {
  if (verbosity_ != Verbosity::LinePerDownload) return;
  const std::u16string& progress = cells[kProgressColumn];
  const std::u16string& target = cells[kTargetFileColumn];
  if (target.empty() || (progress != finished_ && progress != failure_)) return;
  {
    std::lock_guard lock(printedMutex_);
    if (!printed_.insert(cells[kAddressColumn]).second) return;
    std::fprintf(out_, "%-8s %s -> %s\n", Utf8(progress).c_str(),
                 Utf8(cells[kAddressColumn]).c_str(), Utf8(target).c_str());
    std::fflush(out_);
  }
}

void TerminalRunState::ShowMessageBox(std::u16string text, std::u16string caption,
                                      MessageIcon icon) {
  if (icon != MessageIcon::Information) {
    std::fprintf(err_, "%s: %s\n", Utf8(caption).c_str(), Utf8(text).c_str());
  }
  PlainRunState::ShowMessageBox(std::move(text), std::move(caption), icon);
}

ProgressLine::ProgressLine(Project& project, TerminalStatusMonitor& monitor, std::FILE* out)
    : project_(project), monitor_(monitor), out_(out), start_(std::chrono::steady_clock::now()) {}

void ProgressLine::Draw() {
  const TransferTotals& totals = project_.totals();
  const int done = totals.succeeded + totals.failed;
  const long long bytes = totals.bytes;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::string rate = HumanBytes(seconds > 0 ? static_cast<long long>(bytes / seconds) : 0);
  std::fprintf(out_, "\r\x1b[K[%d/%d] %s  %s/s  %s", done, project_.queue().KnownCount(),
               HumanBytes(bytes).c_str(), rate.c_str(), Utf8(monitor_.StatusText()).c_str());
  std::fflush(out_);
}

void ProgressLine::Clear() {
  std::fprintf(out_, "\r\x1b[K");
  std::fflush(out_);
}

}  // namespace kestrine
