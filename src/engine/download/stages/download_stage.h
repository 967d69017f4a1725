#pragma once

#include "engine/download/download_context.h"
#include "engine/download/download_state.h"
#include "engine/download/stages/download_endings.h"
#include "engine/download/stages/stage_result.h"

namespace kestrine {

// One step of a download: it reads and adds to the download's state, and
// ends it through the shared endings when it cannot go on. The steps of
// every download are the same, in one list (see Download), so a new one
// (recording the exchange in an archive, rendering a page in a browser) is
// added in one place.
class DownloadStage {
 public:
  explicit DownloadStage(DownloadContext& context) : context_(context), endings_(context) {}
  virtual ~DownloadStage() = default;
  virtual StageResult Run(DownloadState& download) = 0;
  // Whether the stage runs after an earlier one ended the download.
  virtual bool RunsAfterEnd() const { return false; }

 protected:
  DownloadContext& context_;
  DownloadEndings endings_;
};

}  // namespace kestrine
