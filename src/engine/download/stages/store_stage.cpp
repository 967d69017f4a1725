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
    return endings_.FailToWrite(download, client.GetFailureReason().empty()
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

StageResult RecordStage::Run(DownloadState& download) {
  QueueEntry& entry = download.entry;
  const HttpClient& client = download.client;
  const std::int64_t received = client.GetReceivedBytes();
  entry.state = EntryState::Done;
  entry.outcome = EntryOutcome::Stored;
  download.outcome = DownloadOutcome::Stored;
  ++context_.tally.succeeded;
  context_.tally.bytes += received;
  context_.host.NoteStored(received);
  context_.journal.RecordOutcome(entry.number, EntryOutcome::Stored, received,
                                 client.GetHeaderValue("ETag"),
                                 client.GetHeaderValue("Last-Modified"));
  if (download.scanned) {
    context_.host.RecordDocument(entry.number, download.scanned->kind, download.scanned->charset,
                                 download.scanned->referenced);
  }
  if (context_.updating) {
    ++(context_.host.ValidatorsOf(entry.number) != nullptr ? context_.tally.changed
                                                            : context_.tally.added);
  }
  const std::int64_t length = client.GetContentLength();
  context_.report.Ended({download.taskNumber(), TransferState::Succeeded, length, length,
                         download.Elapsed(), {}, {}, download.retries},
                        download.target.path);
  return StageResult::End;
}

}  // namespace kestrine
