#include "engine/download/stages/record_stage.h"

#include "engine/journal/project_journal.h"
#include "engine/run/run_tally.h"

namespace kestrine {

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
                                 download.scanned->written);
  }
  if (context_.updating) {
    ++(context_.host.ValidatorsOf(entry.number) != nullptr ? context_.tally.changed
                                                           : context_.tally.added);
  }
  endings_.ReportStored(download, client.GetContentLength());
  return StageResult::End;
}

}  // namespace kestrine
