#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/surface/queue_list.h"
#include "runtime/net/i_download_status.h"

namespace kestrine {

class DownloadLog;
class IStatusMonitor;

// "after 1 retry", "after 3 retries".
std::string RetriesText(int retries);

// How downloads show themselves: a row in the queue list as they go, the
// status line while they transfer, and a line in the site's download log
// when they end. Called from every worker at once.
class DownloadReport {
 public:
  DownloadReport(IQueueList& list, IStatusMonitor& monitor, DownloadLog& log)
      : list_(list), monitor_(monitor), log_(log) {}

  void Inserted(int taskNumber, std::u16string address);
  void Progress(const DownloadRow& row);
  // The status line's transfer, now and then.
  void Transfer(int taskNumber, std::int64_t received, std::u16string_view address);
  // The row's end, and the log's line: "PATH download successful." or
  // "PATH download failed: REASON", with the retries it took.
  void Ended(const DownloadRow& row, const std::u16string& path);
  void Paused(int taskNumber);
  // A line of the log of its own.
  void Log(const std::u16string& line);

 private:
  IQueueList& list_;
  IStatusMonitor& monitor_;
  DownloadLog& log_;
};

// One transfer's progress as the HTTP client tells it: its row on every
// report, the status line on every fifth, and a stop when the user cancels
// or pauses.
class DownloadProgress : public IDownloadStatus {
 public:
  DownloadProgress(DownloadReport& report, IStatusMonitor& monitor, std::u16string address,
                   int taskNumber, std::chrono::steady_clock::time_point start)
      : report_(report),
        monitor_(monitor),
        address_(std::move(address)),
        taskNumber_(taskNumber),
        start_(start) {}

  void OnProgress(std::int64_t total, std::int64_t received) override;
  int ShouldStop() override;

 private:
  DownloadReport& report_;
  IStatusMonitor& monitor_;
  const std::u16string address_;
  const int taskNumber_;
  const std::chrono::steady_clock::time_point start_;
  int reports_ = 0;
};

}  // namespace kestrine
