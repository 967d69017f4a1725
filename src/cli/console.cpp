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

}  // namespace kestrine
