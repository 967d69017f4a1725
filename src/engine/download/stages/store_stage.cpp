#include "engine/download/stages/store_stage.h"

#include "engine/journal/project_journal.h"
#include "engine/run/run_tally.h"
#include "runtime/fs/confined_folder.h"

namespace kestrine {

StageResult StoreStage::Run(DownloadState& download) {
  HttpClient& client = download.client;
  const bool written =
      download.rewritten ? client.StoreText(*download.rewritten) : client.StoreBody();
  download.rewritten.reset();
  if (!written) {
    return endings_.FailToWrite(download,
                                client.GetFailureReason().empty()
                                    ? "the local file could not be written"
                                    : client.GetFailureReason(),
                                "cannot write the file");
  }
  if (const Status moved =
          context_.files.MoveInto(download.target.partialName, download.target.localFile);
      !moved) {
    return endings_.FailToWrite(download, moved.error().message, "cannot store the file");
  }
  download.target.partialName.clear();
  return StageResult::Continue;
}

}  // namespace kestrine
