#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "runtime/net/i_download_status.h"

namespace kestrine {

class Project;

// Receives one download's progress from the HTTP client: the row on every
// call, the status line on every fifth, and a stop when the user cancels
// or pauses.
class DownloadQueueStatus : public IDownloadStatus {
 public:
  DownloadQueueStatus(std::u16string address, int taskNumber, Project& project,
                      std::chrono::steady_clock::time_point start);

  void OnProgress(std::int64_t total, std::int64_t received) override;
  int ShouldStop() override;

 private:
  const int taskNumber_;
  const std::u16string address_;
  Project& project_;
  const std::chrono::steady_clock::time_point start_;
  std::int32_t callCount_ = 0;
};

}  // namespace kestrine
