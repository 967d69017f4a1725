#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace kestrine {

class ConfinedFolder;

// The site's "download.log": one line per download and per end of a run,
// in the system's narrow charset with CR LF endings. One writer at a time.
// Lines reach the file in batches: with the first line a quarter of a
// second after the last batch, and all of them when the log closes. A copy
// logs a line for every file, so one write each would cost.
class DownloadLog {
 public:
  ~DownloadLog();

  // Starts the log anew (`fresh`) or appends to it, in the site folder.
  // Nothing is logged while it cannot be opened.
  void Open(const ConfinedFolder& siteFolder, bool fresh);
  void Write(const std::u16string& line);
  void Close();
  bool IsOpen() const;

  static constexpr const char* kFileName = "download.log";

 private:
  static constexpr auto kFlushInterval = std::chrono::milliseconds(250);
  static constexpr std::size_t kBufferBytes = 64 * 1024;
  mutable std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::chrono::steady_clock::time_point flushed_;
};

}  // namespace kestrine
