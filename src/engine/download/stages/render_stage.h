#pragma once

#include <string>

#include "engine/download/stages/download_stage.h"

namespace kestrine {

// Loads a page of the site in the run's browser when the mode asks for it
// (always, or when the served page looks like an application's empty
// shell), so what is stored is what a reader saw: the rendered document
// takes the place of the served one, and every address the page loaded as
// it settled is queued as a file it needs, under the run's rules. A page
// the browser cannot render is stored as served, and the log says why.
class RenderStage : public DownloadStage {
 public:
  using DownloadStage::DownloadStage;
  StageResult Run(DownloadState& download) override;

  // An empty shell: scripts, under 200 characters of text a reader would
  // see, and fewer than 16 elements laid out (a mount point, a spinner).
  static bool LooksLikeAppShell(std::u16string_view html);
  static constexpr std::size_t kShellText = 200;
  static constexpr std::size_t kShellElements = 16;

 private:
  bool Wanted(DownloadState& download) const;
};

}  // namespace kestrine
