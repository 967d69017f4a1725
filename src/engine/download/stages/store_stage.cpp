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
  LocalTarget& target = download.target;
  if (const Status moved = target.partialFile.valid()
                               ? context_.files.LinkInto(target.partialFile.get(), target.localFile)
                               : context_.files.MoveInto(target.partialName, target.localFile);
      !moved) {
    return endings_.FailToWrite(download, moved.error().message, "cannot store the file");
  }
  target.partialFile.Reset();
  target.partialName.clear();
  return StageResult::Continue;
}

}  // namespace kestrine
