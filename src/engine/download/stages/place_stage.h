#pragma once

#include "engine/download/stages/download_stage.h"

namespace kestrine {

// Gives the entry the local file its answer calls for, when it is not the
// one its address gave: a folder's address that redirected to its "/" form
// is stored as that folder's default document (so the copy keeps the
// site's paths), and a name that does not suit the type the server gave is
// named by it. The entry keeps its former file too, for the references
// written to it; they are mended when the run ends. An entry whose answer
// is another entry's stores nothing of its own.
class PlaceStage : public DownloadStage {
 public:
  using DownloadStage::DownloadStage;
  StageResult Run(DownloadState& download) override;

  // Whether `location` is `address` with a "/" added, the form a folder's
  // address redirects to.
  static bool IsSlashFormOf(const std::u16string& location, const std::u16string& address);
};

}  // namespace kestrine
