#include "engine/download/stages/fetch_stage.h"

#include <unistd.h>

#include <memory>

#include "engine/journal/project_journal.h"
#include "engine/run/run_tally.h"
#include "engine/surface/i_status_monitor.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/fs/local_files.h"
#include "runtime/net/retry_policy.h"
#include "runtime/net/transfer_engine.h"
#include "runtime/string_utility.h"
#include "site/address/address.h"

namespace kestrine {

namespace {

// PATH_MAX on Linux, with room for the partial file's name.
constexpr std::size_t kMaxLocalPathBytes = 4000;

}  // namespace

LocalTarget FetchStage::TargetOf(const QueueEntry& entry, const std::u16string& siteFolder) {
  LocalTarget target;
  target.localFile = std::u16string(entry.localFile);
  target.path = LocalFilePath(siteFolder, target.localFile);
  const std::size_t slash = target.path.rfind(u'\\');
  target.folder = slash == std::u16string::npos ? siteFolder : target.path.substr(0, slash);
  return target;
}

// The client asks as the run's options say, and an update asks for a
// stored copy only if it changed since.
void FetchStage::Prepare(DownloadState& download) {
  HttpClient& client = download.client;
  client.SetTimeout(context_.settings.timeOutSeconds * 1000);
  client.SetTransferEngine(&context_.transfers);
  HttpClient::RequestOptions request =
      RequestOptionsFor(context_.settings.options, context_.host.TransfersAtOnce());
  if (const Validators* validators = context_.host.ValidatorsOf(download.entry.number)) {
    if (!validators->etag.empty()) request.headers.push_back("If-None-Match: " + validators->etag);
    if (!validators->lastModified.empty()) {
      request.headers.push_back("If-Modified-Since: " + validators->lastModified);
    }
  }
  client.SetRequestOptions(std::move(request));
  client.HoldTextBodies(true);
  client.CaptureExchanges(context_.archive != nullptr);
}

StageResult FetchStage::Run(DownloadState& download) {
  const std::u16string address(download.entry.address);
  // A guess gets its row once the site has shown it has the file.
  const bool guess = download.entry.guessed;
  if (!guess) {
    context_.report.Inserted(download.taskNumber(), address);
    context_.report.Progress({download.taskNumber(), TransferState::Transferring});
  }
  if (NativePath(download.target.path).size() >= kMaxLocalPathBytes) {
    if (guess) return endings_.DropGuess(download);
    return endings_.Fail(download, u"the local path is longer than the file system allows",
                         {HttpClient::Failure::LocalWrite, 0});
  }
  Prepare(download);
  if (!context_.files.IsOpen())
    return endings_.FailToWrite(download, context_.files.error(), "cannot write the file");
  Result<int> sink = OpenPartial(download.target);
  if (!sink) return endings_.FailToWrite(download, sink.error().message, "cannot write the file");
  download.client.SinkToDescriptor(*sink, download.target.path);
  DownloadProgress progress(context_.report, context_.monitor, address, download.taskNumber(),
                            download.start);
  download.client.SetDownloadStatus(&progress);
  TransferWithRetries(download);
  download.client.SetDownloadStatus(nullptr);
  if (download.client.WasMultiplexed()) context_.host.NoteMultiplexed();
  if (download.retries > 0) context_.tally.NoteRetried(download.retries);
  if (download.client.GetFailure() == HttpClient::Failure::Stopped ||
      context_.monitor.IsCancelRequested() || context_.monitor.IsPauseRequested()) {
    return endings_.Halt(download);
  }
  if (JudgeUpdate(download) == StageResult::End) return StageResult::End;
  if (guess) {
    if (!GuessHolds(download)) return endings_.DropGuess(download);
    context_.report.Inserted(download.taskNumber(), address);
  }
  if (!download.client.Succeeded()) return endings_.FailTransfer(download);
  download.kind = download.client.GetContentKind();
  const std::int64_t length = download.client.GetContentLength();
  context_.report.Progress(
      {download.taskNumber(), TransferState::Transferring, length, length, download.Elapsed()});
  return StageResult::Continue;
}

// The file the body goes to, for the client to own: a file without a name
// where the file system allows (the target keeps a descriptor, to name it
// once stored), else a named one in the site folder.
Result<int> FetchStage::OpenPartial(LocalTarget& target) {
  if (Result<UniqueFd> anonymous = context_.files.CreateAnonymous()) {
    target.partialFile.Reset(::dup(anonymous->get()));
    if (target.partialFile.valid()) return anonymous->Release();
  }
  Result<ConfinedFolder::NewFile> partial = context_.files.CreateTemporary(PartialFilePrefix());
  if (!partial) return partial.error();
  target.partialName = partial->name;
  return partial->fd.Release();
}

// Transfers the entry, and again as RetryPolicy allows; the last try's
// answer is the client's.
void FetchStage::TransferWithRetries(DownloadState& download) {
  const DownloadOptions& options = context_.settings.options;
  const RetryPolicy policy(options.tries, options.waitRetrySeconds);
  HttpClient& client = download.client;
  int counted = 1;
  int unprocessed = 0;
  while (true) {
    client.Navigate2(std::u16string(download.entry.address));
    const RetryPolicy::Attempt attempt{client.GetFailure(), client.GetReturnCode(),
                                       client.GotResponse(), client.HostMultiplexes(),
                                       client.GetHeaderValue("Retry-After")};
    const RetryPolicy::Plan plan =
        policy.Judge(attempt, counted, unprocessed, std::chrono::system_clock::now());
    if (!plan.retry) return;
    // A host that asks for fewer requests gets them for the rest of the run.
    if (attempt.failure == HttpClient::Failure::None && attempt.status == 429) {
      client.ThrottleHost();
    }
    ++(plan.counts ? counted : unprocessed);
    ++download.retries;
    if (plan.wait.count() > 0 && context_.monitor.WaitForStopRequest(plan.wait)) return;
    if (!client.PrepareRetry()) return;
  }
}

// The site has the file when it answers with it: an error says it has not,
// and so does a page where the name says another kind of file, which is
// how servers of single-page applications answer every unknown path.
bool FetchStage::GuessHolds(const DownloadState& download) {
  if (!download.client.Succeeded()) return false;
  if (download.client.GetContentKind() != ContentKind::Page) return true;
  const std::u16string extension = PathExtensionOf(std::u16string(download.entry.address));
  return extension.empty() || extension == u"html" || extension == u"htm" || extension == u"xhtml";
}

// How an update ends for a copy that is kept as it is: unchanged (304), or
// gone from the site (404, 410). Nothing for every other answer.
StageResult FetchStage::JudgeUpdate(DownloadState& download) {
  const Validators* validators = context_.host.ValidatorsOf(download.entry.number);
  const HttpClient& client = download.client;
  const int status = client.GetReturnCode();
  if (validators == nullptr || client.GetFailure() != HttpClient::Failure::None ||
      (status != 304 && status != 404 && status != 410)) {
    return StageResult::Continue;
  }
  endings_.RemovePartial(download);
  download.entry.state = EntryState::Done;
  download.entry.outcome = EntryOutcome::Stored;
  download.outcome = DownloadOutcome::Stored;
  context_.journal.RecordOutcome(download.entry.number, EntryOutcome::Stored,
                                 context_.files.FileSize(download.target.localFile),
                                 validators->etag, validators->lastModified);
  if (status == 304) {
    ++context_.tally.unchanged;
    ++context_.tally.succeeded;
    endings_.ReportStored(download, 0);
    return StageResult::End;
  }
  ++context_.tally.gone;
  ++context_.tally.failed;
  const std::u16string reason = StringUtility::FromUtf8(client.GetFailureReason()) +
                                u": gone from the site, the copy is kept";
  context_.report.Ended({download.taskNumber(),
                         TransferState::Failed,
                         0,
                         0,
                         download.Elapsed(),
                         {},
                         reason,
                         download.retries},
                        download.target.path);
  // The copy stays, and so do the links to it.
  return StageResult::End;
}

}  // namespace kestrine
