#pragma once

#include <cstdint>

namespace kestrine {

// What an HttpClient reports to while it transfers. Byte counts are 64-bit so
// files beyond 2 GB report sensibly.
class IDownloadStatus {
 public:
  // total is the announced length, below 1 when none was announced.
  virtual void OnProgress(std::int64_t total, std::int64_t received) = 0;
  // Nonzero ends the transfer early.
  virtual int ShouldStop() = 0;

 protected:
  ~IDownloadStatus() = default;
};

}  // namespace kestrine
