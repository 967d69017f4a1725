#pragma once

namespace kestrine {

struct DownloadState;

// Whether a download goes on to its next stage, or has ended (its outcome
// then says how).
enum class StageResult { Continue, End };

// One step of a download: it reads and adds to the download's state. The
// steps of every download are the same, in one list (see Download), so a
// new one (recording the exchange in an archive, rendering a page in a
// browser) is added in one place.
class DownloadStage {
 public:
  virtual ~DownloadStage() = default;
  virtual StageResult Run(DownloadState& download) = 0;
};

}  // namespace kestrine
