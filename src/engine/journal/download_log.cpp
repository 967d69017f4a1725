#include "engine/journal/download_log.h"

#include <unistd.h>

#include "encoding/ansi_code_page.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/unique_fd.h"

namespace kestrine {

DownloadLog::~DownloadLog() { Close(); }

void DownloadLog::Open(const ConfinedFolder& siteFolder, bool fresh) {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  UniqueFd fd = siteFolder.OpenOwnFile(kFileName, fresh);
  if (!fd) return;
  file_ = ::fdopen(fd.get(), "ab");
  if (file_ == nullptr) return;
  fd.Release();
  std::setvbuf(file_, nullptr, _IOFBF, kBufferBytes);
  flushed_ = std::chrono::steady_clock::now();
}

void DownloadLog::Write(const std::u16string& line) {
  const std::string bytes = AnsiCodePage::FromWide(line) + "\r\n";
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), file_);
  const auto now = std::chrono::steady_clock::now();
  if (now - flushed_ >= kFlushInterval) {
    std::fflush(file_);
    flushed_ = now;
  }
}

void DownloadLog::Close() {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool DownloadLog::IsOpen() const {
  std::lock_guard lock(mutex_);
  return file_ != nullptr;
}

}  // namespace kestrine
