#pragma once

#include "engine/download/stages/download_stage.h"
#include "runtime/result.h"

namespace kestrine {

// Fetches an entry into a partial file of the site folder, under a name
// nobody can guess, trying again as RetryPolicy allows; then judges the
// answer. A failed, stopped or unchanged answer ends the download here and
// leaves no file; a path the file system cannot hold is not fetched at all,
// so an endless chain of ever deeper folders ends there.
class FetchStage : public DownloadStage {
 public:
  using DownloadStage::DownloadStage;
  StageResult Run(DownloadState& download) override;

  // Where an entry's copy goes in a site folder.
  static LocalTarget TargetOf(const QueueEntry& entry, const std::u16string& siteFolder);

 private:
  void Prepare(DownloadState& download);
  Result<int> OpenPartial(LocalTarget& target);
  void TransferWithRetries(DownloadState& download);
  StageResult JudgeUpdate(DownloadState& download);
  // Whether the site has the file a guessed address names.
  static bool GuessHolds(const DownloadState& download);
};

}  // namespace kestrine
