#include "cli/console.h"

#include "runtime/string_utility.h"

namespace kestrine {

void Console::ClearLocked() {
  if (!drawn_) return;
  std::fputs("\r\x1b[K", out_);
  std::fflush(out_);
  drawn_ = false;
}

void Console::DrawLiveLine(const std::string& text) {
  if (!live_) return;
  std::lock_guard lock(mutex_);
  std::fprintf(out_, "\r\x1b[K%s", StringUtility::Printable(text).c_str());
  std::fflush(out_);
  drawn_ = true;
}

void Console::ClearLiveLine() {
  std::lock_guard lock(mutex_);
  ClearLocked();
}

void Console::Print(const std::string& line) {
  std::lock_guard lock(mutex_);
  ClearLocked();
  std::fprintf(out_, "%s\n", StringUtility::Printable(line).c_str());
  std::fflush(out_);
}

void Console::Error(const std::string& message) {
  std::lock_guard lock(mutex_);
  ClearLocked();
  std::fprintf(err_, "kestrine-cli: %s\n", StringUtility::Printable(message).c_str());
  std::fflush(err_);
}

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

}  // namespace kestrine
