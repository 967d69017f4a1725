#pragma once

#include "engine/download/stages/download_stage.h"

namespace kestrine {

// Records a stored file: its outcome and validators in the journal, what a
// page or style sheet refers to, the run's counts and limits, and its row.
class RecordStage : public DownloadStage {
 public:
  using DownloadStage::DownloadStage;
  StageResult Run(DownloadState& download) override;
};

}  // namespace kestrine
