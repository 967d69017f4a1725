#pragma once

#include "engine/download/download_context.h"
#include "engine/download/stages/download_endings.h"

namespace kestrine {

// Writes the body (or the rewritten document) to the partial file and moves
// it to its local file in one step, making the folders on the way, never
// through a link; a failed, stopped or concurrent download so never damages
// a stored copy.
class StoreStage : public DownloadStage {
 public:
  explicit StoreStage(DownloadContext& context) : context_(context), endings_(context) {}
  StageResult Run(DownloadState& download) override;

 private:
  DownloadContext& context_;
  DownloadEndings endings_;
};

// Records a stored file: its outcome and validators in the journal, what a
// page or style sheet refers to, the run's counts and limits, and its row.
class RecordStage : public DownloadStage {
 public:
  explicit RecordStage(DownloadContext& context) : context_(context) {}
  StageResult Run(DownloadState& download) override;

 private:
  DownloadContext& context_;
};

}  // namespace kestrine
