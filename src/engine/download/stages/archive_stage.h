#pragma once

#include "engine/download/stages/download_stage.h"

namespace kestrine {

// Hands the exchanges of the download's transfer (every try and every
// redirect, as they crossed the wire) to the run's web archive, and a page
// of the site to its page list with its title and text. It runs after a
// failed or unchanged answer too: a 404 and a 304 are captures as well.
class ArchiveStage : public DownloadStage {
 public:
  using DownloadStage::DownloadStage;
  StageResult Run(DownloadState& download) override;
  bool RunsAfterEnd() const override { return true; }

 private:
  void AddPage(DownloadState& download, const std::string& url, const std::string& date);
};

}  // namespace kestrine
