#pragma once

#include "engine/download/stages/download_stage.h"

namespace kestrine {

// Writes the body (or the rewritten document) to the partial file and moves
// it to its local file in one step, making the folders on the way, never
// through a link; a failed, stopped or concurrent download so never damages
// a stored copy.
class StoreStage : public DownloadStage {
 public:
  using DownloadStage::DownloadStage;
  StageResult Run(DownloadState& download) override;
};

}  // namespace kestrine
