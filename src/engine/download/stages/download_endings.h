#pragma once

#include <cstdint>
#include <string>

#include "engine/download/download_context.h"
#include "engine/download/download_state.h"
#include "engine/download/stages/stage_result.h"

namespace kestrine {

// The ways a download ends before it is stored, shared by its stages: each
// leaves no partial file behind and says so on the download's row and in
// the log.
class DownloadEndings {
 public:
  explicit DownloadEndings(DownloadContext& context) : context_(context) {}

  // A "Failure" row with its reason, counted by kind.
  StageResult Fail(DownloadState& download, const std::u16string& reason, FailureTally::Kind kind,
                   std::int64_t length = 0);
  // The transfer failed: the row says why. An update that cannot reach a
  // stored file keeps the copy it has, and the journal keeps saying it is
  // stored.
  StageResult FailTransfer(DownloadState& download);
  // The copy could not be written (a full disk, something standing where
  // it goes): a failure row and a count for the end notice, never a box a
  // worker waits on.
  StageResult FailToWrite(DownloadState& download, const std::string& why, const char* what);
  // A pause or a cancel ended it early. After a pause the entry is fetched
  // again on Continue, so nothing of it stays and its row says it waits.
  // After a cancel the row says it stopped, but the journal records no
  // outcome: for a continued copy the entry is still to be fetched, and so
  // is everything only it links to.
  StageResult Halt(DownloadState& download);
  // A guessed address the site does not have: no row, no file, no
  // failure, only a count in the run's summary.
  StageResult DropGuess(DownloadState& download);
  // The entry's answer is another entry's: that one's file is its file.
  StageResult StoredElsewhere(DownloadState& download);
  void RemovePartial(DownloadState& download);
  // The row and the log say the download succeeded with `length` bytes.
  void ReportStored(const DownloadState& download, std::int64_t length);

 private:
  DownloadContext& context_;
};

}  // namespace kestrine
