#include "engine/download/stages/download_endings.h"

#include "engine/journal/project_journal.h"
#include "engine/run/run_tally.h"
#include "engine/surface/i_status_monitor.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/string_utility.h"

namespace kestrine {

void DownloadEndings::RemovePartial(DownloadState& download) {
  download.target.partialFile.Reset();
  if (!download.target.partialName.empty()) {
    context_.files.RemoveTemporary(download.target.partialName);
    download.target.partialName.clear();
  }
}

StageResult DownloadEndings::Fail(DownloadState& download, const std::u16string& reason,
                                  FailureTally::Kind kind, std::int64_t length) {
  RemovePartial(download);
  ++context_.tally.failed;
  context_.tally.failures.Note(kind, StringUtility::ToUtf8(reason));
  download.entry.outcome = EntryOutcome::Failed;
  download.outcome = DownloadOutcome::Failed;
  context_.report.Ended({download.taskNumber(),
                         TransferState::Failed,
                         length,
                         length,
                         download.Elapsed(),
                         {},
                         reason,
                         download.retries},
                        download.target.path);
  return StageResult::End;
}

StageResult DownloadEndings::FailTransfer(DownloadState& download) {
  if (context_.host.ValidatorsOf(download.entry.number) == nullptr) {
    context_.journal.RecordOutcome(download.entry.number, EntryOutcome::Failed, 0, {}, {});
  }
  return Fail(download, StringUtility::FromUtf8(download.client.GetFailureReason()),
              download.FailureKind(), download.client.GetContentLength());
}

StageResult DownloadEndings::FailToWrite(DownloadState& download, const std::string& why,
                                         const char* what) {
  ++context_.tally.unwritable;
  return Fail(download, StringUtility::FromUtf8(std::string(what) + ": " + why),
              {HttpClient::Failure::LocalWrite, 0}, download.client.GetContentLength());
}

StageResult DownloadEndings::Halt(DownloadState& download) {
  RemovePartial(download);
  if (!context_.monitor.IsCancelRequested()) {
    context_.report.Paused(download.taskNumber());
    download.outcome = DownloadOutcome::Interrupted;
    return StageResult::End;
  }
  ++context_.tally.failed;
  context_.report.Ended({download.taskNumber(),
                         TransferState::Failed,
                         0,
                         0,
                         download.Elapsed(),
                         {},
                         u"stopped",
                         download.retries},
                        download.target.path);
  download.outcome = DownloadOutcome::Stopped;
  return StageResult::End;
}

StageResult DownloadEndings::DropGuess(DownloadState& download) {
  RemovePartial(download);
  ++context_.tally.guessesDropped;
  download.entry.outcome = EntryOutcome::Failed;
  context_.journal.RecordDroppedGuess(download.entry.number);
  download.outcome = DownloadOutcome::Failed;
  return StageResult::End;
}

StageResult DownloadEndings::StoredElsewhere(DownloadState& download) {
  RemovePartial(download);
  download.entry.state = EntryState::Done;
  context_.journal.RecordOutcome(download.entry.number, EntryOutcome::Stored, 0, {}, {});
  ++context_.tally.succeeded;
  ReportStored(download, 0);
  download.outcome = DownloadOutcome::Stored;
  return StageResult::End;
}

void DownloadEndings::ReportStored(const DownloadState& download, std::int64_t length) {
  context_.report.Ended({download.taskNumber(),
                         TransferState::Succeeded,
                         length,
                         length,
                         download.Elapsed(),
                         {},
                         {},
                         download.retries,
                         download.wasRendered},
                        download.target.path);
}

}  // namespace kestrine
