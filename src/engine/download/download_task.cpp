#include "engine/download/download_task.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <thread>

#include "encoding/ansi_code_page.h"
#include "encoding/charset_transfer_util.h"
#include "engine/download/document_scope.h"
#include "engine/download/download_queue_status.h"
#include "engine/surface/i_status_monitor.h"
#include "engine/project.h"
#include "engine/surface/queue_list.h"
#include "engine/download/queue_row.h"
#include "engine/queue/recorded_local_file.h"
#include "runtime/net/retry_policy.h"
#include "engine/surface/run_state.h"
#include "engine/download/script_files.h"
#include "presentation/string_table.h"
#include "presentation/text_format.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/net/http_client.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "site/html/html_scanner.h"
#include "site/css/style_sheet_scanner.h"

namespace kestrine {

namespace {

using Clock = std::chrono::steady_clock;

// PATH_MAX on Linux, with room for the partial file's name.
constexpr std::size_t kMaxLocalPathBytes = 4000;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct LocalTarget {
  std::u16string folder;          // the folder of the copy, in full
  std::u16string path;            // where the copy ends up, in full
  std::u16string_view localFile;  // the same, relative to the site folder
  std::string partialName;        // the file the body is received in
};

// The body is received in the site's own folder and the copy's folder is
// made only when it is stored, so a download that fails leaves no empty
// folders behind.
LocalTarget PlaceEntry(Project& project, const QueueEntry& entry) {
  LocalTarget target;
  target.path = Project::LocalPathOf(entry, project.siteFolder());
  target.localFile = entry.localFile;
  const std::size_t slash = target.path.rfind(u'\\');
  target.folder =
      slash == std::u16string::npos ? project.siteFolder() : target.path.substr(0, slash);
  return target;
}

// The partial file is made anew under a name nobody can guess, never
// through a link planted where it goes. False, with the reason, when it
// cannot be made.
bool OpenPartialFile(Project& project, HttpClient& client, LocalTarget& target,
                     std::string* error) {
  const ConfinedFolder& files = project.siteFiles();
  if (!files.IsOpen()) {
    *error = files.error();
    return false;
  }
  const auto partial = files.CreateTemporary(PartialFilePrefix(), error);
  if (!partial) return false;
  target.partialName = partial->name;
  client.SinkToDescriptor(partial->fd,
                          project.siteFolder() + u"\\" + StringUtility::FromUtf8(partial->name));
  return true;
}

void RemovePartialFile(Project& project, const LocalTarget& target) {
  if (!target.partialName.empty()) project.siteFiles().RemoveTemporary(target.partialName);
}

// The rewritten text in its own charset in place of the received body. A
// text the charset cannot hold (a page declared UTF-16, say) comes back
// empty; the received bytes then stay rather than being wiped.
void WriteTextBack(HttpClient& client, const std::u16string& text, const std::u16string& charset) {
  const std::string bytes = CharsetTransferUtil::GetInstance().WideToCharset(charset, text);
  if (bytes.empty() && !text.empty()) return;
  client.StoreText(bytes);
}

// Folders are made on the way as needed, never through a link; another
// download may be making the same folder meanwhile.
std::optional<std::string> MoveIntoPlace(Project& project, const LocalTarget& target) {
  return project.siteFiles().MoveInto(target.partialName, target.localFile);
}

enum class TextKind { None, StyleSheet, Page, Svg };

TextKind KindOf(const std::u16string& type) {
  const std::u16string lower = StringUtility::ToLowerAscii(type);
  if (StringUtility::StartsWith(lower, u"text/css")) return TextKind::StyleSheet;
  if (StringUtility::StartsWith(lower, u"text/html")) return TextKind::Page;
  if (StringUtility::StartsWith(lower, u"image/svg+xml")) return TextKind::Svg;
  return TextKind::None;
}

Project::DocumentKind DocumentKindOf(TextKind kind) {
  switch (kind) {
    case TextKind::StyleSheet:
      return Project::DocumentKind::StyleSheet;
    case TextKind::Svg:
      return Project::DocumentKind::Svg;
    default:
      return Project::DocumentKind::Page;
  }
}

// What a scan of a stored document found, for the project's records once
// the document is in place.
struct ScannedDocument {
  Project::DocumentKind kind;
  std::u16string charset;
  std::vector<std::int32_t> referenced;
};

// Reads, scans and writes back a page or style sheet. A page redirected
// away from the site, and every other type, stays as received.
std::optional<ScannedDocument> RewriteTextResponse(Project& project, HttpClient& client,
                                                   const QueueEntry& entry,
                                                   const LocalTarget& target, TextKind kind) {
  const std::u16string address(entry.address);
  const AddressQueue& queue = project.queue();
  const bool scanning = queue.mode() != RetrieveFiles;
  if (kind != TextKind::StyleSheet) {
    const std::u16string location = client.GetLocationURL();
    if (location != address && !ContainsSitePrefix(location, queue.sitePrefix())) {
      return std::nullopt;
    }
  }
  if (client.GetReceivedBytes() > kMaxRewrittenTextBytes) {
    project.WriteDownloadLog(DisplayPath(target.path) +
                             u" stored as received: larger than 32 MB, not rewritten");
    return std::nullopt;
  }
  std::u16string text = client.GetSource();
  const bool styleSheet = kind == TextKind::StyleSheet;
  const std::u16string charset = AnsiCodePage::ToWide(client.GetCharset());
  std::optional<ScannedDocument> scanned;
  // Style sheets are scanned wherever they come from, pages and images only
  // inside the site. Relative references lead from where the answer came
  // from, after any redirect, as a browser reads them.
  if (scanning && (styleSheet || IsUnderSitePrefix(address, queue.sitePrefix()))) {
    DocumentScope scope(project, entry,
                        kind == TextKind::Page ? DocumentRole::Page : DocumentRole::Requisite);
    scanned = ScannedDocument{DocumentKindOf(kind), charset, {}};
    const std::u16string base = client.GetLocationURL();
    if (styleSheet) {
      ScanStyleSheetReferences(scope, text, base, project.siteFolder(), target.folder,
                               &scanned->referenced);
    } else {
      ScanHtmlReferences(scope, text, base, project.siteFolder(), target.folder,
                         &scanned->referenced,
                         kind == TextKind::Svg ? MarkupKind::Svg : MarkupKind::Html);
    }
  }
  WriteTextBack(client, text, charset);
  return scanned;
}

DownloadOutcome ReportFailure(Project& project, int taskNumber, const std::u16string& path,
                              std::int64_t length, const std::u16string& reason,
                              Clock::time_point start, int retries = 0) {
  ++project.totals().failed;
  project.NoteFailure(reason);
  UpdateQueueRow(project, taskNumber, length, length, Failed, path, SecondsSince(start), reason,
                 retries);
  return DownloadOutcome::Failed;
}

DownloadOutcome ReportFileError(Project& project, int taskNumber, const LocalTarget& target,
                                const std::string& error, Clock::time_point start) {
  project.runState().ShowMessageBox(
      FormatText(u"Cannot write the file %s: %s", NativePath(target.path).c_str(), error.c_str()),
      u"Kestrine", MessageIcon::Error);
  return ReportFailure(project, taskNumber, target.path, 0,
                       u"cannot write the file: " + StringUtility::FromUtf8(error), start);
}

// A pause ends the transfer early; the entry is fetched again on Continue,
// so nothing of it stays and its row says it is waiting.
DownloadOutcome Interrupt(Project& project, int taskNumber, const LocalTarget& target) {
  RemovePartialFile(project, target);
  project.list().SetCellText(taskNumber - 1, kProgressColumn, StringTable::Load(kIdsPaused));
  return DownloadOutcome::Interrupted;
}

// A cancel ends the transfer early too. The row says it stopped, but the
// journal records no outcome: for a continued copy the entry is still to be
// fetched, and so is everything only it links to.
DownloadOutcome Stop(Project& project, int taskNumber, const LocalTarget& target,
                     Clock::time_point start) {
  RemovePartialFile(project, target);
  ++project.totals().failed;
  UpdateQueueRow(project, taskNumber, 0, 0, Failed, target.path, SecondsSince(start), u"stopped");
  return DownloadOutcome::Stopped;
}

// How a download that was asked to stop ends: paused or stopped.
DownloadOutcome Halt(Project& project, int taskNumber, const LocalTarget& target,
                     Clock::time_point start) {
  if (project.monitor().IsCancelRequested() == 0) return Interrupt(project, taskNumber, target);
  return Stop(project, taskNumber, target, start);
}

// An update asks for a stored copy only if it changed since.
void AddConditions(Project& project, const QueueEntry& entry, HttpClient::RequestOptions& request) {
  const Project::Validators* validators = project.ValidatorsOf(entry.number);
  if (validators == nullptr) return;
  if (!validators->etag.empty()) request.headers.push_back("If-None-Match: " + validators->etag);
  if (!validators->lastModified.empty()) {
    request.headers.push_back("If-Modified-Since: " + validators->lastModified);
  }
}

// How an update ends for a copy that is kept as it is: unchanged (304), or
// gone from the site (404, 410). Nothing for every other answer.
std::optional<DownloadOutcome> JudgeUpdate(Project& project, QueueEntry& entry,
                                           const HttpClient& client, const LocalTarget& target,
                                           Clock::time_point start) {
  const Project::Validators* validators = project.ValidatorsOf(entry.number);
  const int code = client.GetReturnCode();
  if (validators == nullptr || (code != 304 && code != 404 && code != 410)) return std::nullopt;
  RemovePartialFile(project, target);
  entry.state = Done;
  entry.outcome = EntryOutcome::Stored;
  project.journal().RecordOutcome(entry.number, static_cast<std::int32_t>(EntryOutcome::Stored),
                                  project.siteFiles().FileSize(target.localFile), validators->etag,
                                  validators->lastModified);
  if (code == 304) {
    ++project.updateCounts().unchanged;
    ++project.totals().succeeded;
    UpdateQueueRow(project, entry.taskNumber(), 0, 0, Succeeded, target.path, SecondsSince(start));
    return DownloadOutcome::Stored;
  }
  ++project.updateCounts().gone;
  ++project.totals().failed;
  UpdateQueueRow(project, entry.taskNumber(), 0, 0, Failed, target.path, SecondsSince(start),
                 StringUtility::FromUtf8(client.GetFailureReason()) +
                     u": gone from the site, the copy is kept");
  // The copy stays, and so do the links to it.
  return DownloadOutcome::Stored;
}

bool IsSlashFormOf(const std::u16string& location, const std::u16string& address) {
  const std::u16string_view wanted = std::u16string_view(address).substr(WebSchemeLength(address));
  const std::u16string_view found = std::u16string_view(location).substr(WebSchemeLength(location));
  return found.size() == wanted.size() + 1 && found.back() == u'/' && found.starts_with(wanted) &&
         !wanted.ends_with(u'/');
}

std::u16string FolderOf(std::u16string_view localFile) {
  const std::size_t slash = localFile.rfind(u'\\');
  return slash == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(localFile.substr(0, slash));
}

std::u16string NameOf(std::u16string_view localFile) {
  const std::size_t slash = localFile.rfind(u'\\');
  return std::u16string(slash == std::u16string_view::npos ? localFile
                                                           : localFile.substr(slash + 1));
}

// The local file the answer calls for, when it is not the one the address
// gave: a folder's address that redirected to its "/" form is stored as
// that folder's default document (so the copy keeps the site's paths), and
// a name that does not suit the type the server gave is named by it. The
// entry keeps its former file too, for the references written to it; they
// are mended when the run ends.
enum class Placement { AsAnswered, SameAsAnother };

Placement PlaceByAnswer(Project& project, QueueEntry& entry, const HttpClient& client,
                        LocalTarget& target) {
  AddressQueue& queue = project.queue();
  std::u16string folder = FolderOf(entry.localFile);
  std::u16string name = NameOf(entry.localFile);
  std::u16string namedAfter(entry.address);
  bool rename = false;
  const std::u16string location = client.GetLocationURL();
  if (queue.mode() == DuplicateSite && IsSlashFormOf(location, namedAfter)) {
    // The "/" form came first, from another page: that entry has the file.
    if (const auto same = queue.KnownNumberOf(location); same && *same != entry.number) {
      queue.Follow(entry, *same);
      return Placement::SameAsAnother;
    }
    const auto rule =
        RecordedLocalFile::RuleNameOf(queue.mode(), queue.siteHost(), location, entry.taskNumber());
    folder = rule.folder;
    name = rule.name;
    namedAfter = location;
    queue.AddAlias(entry, location);
    project.journal().RecordAlias(entry.number, location);
    rename = true;
  }
  const std::u16string type = AnsiCodePage::ToWide(client.GetHeaderValue("Content-Type"));
  if (!StringUtility::TrimWhiteSpace(type).empty()) {
    if (auto typed = LocalFileNameForType(name, PathExtensionOf(namedAfter), type)) {
      name = *std::move(typed);
      rename = true;
    }
  }
  if (!rename || (folder == FolderOf(entry.localFile) && name == NameOf(entry.localFile))) {
    return Placement::AsAnswered;
  }
  queue.Rename(entry, folder, name);
  const std::string partialName = std::move(target.partialName);
  target = PlaceEntry(project, entry);
  target.partialName = partialName;
  return Placement::AsAnswered;
}

// An entry whose answer is another entry's stores nothing of its own: the
// other one's file is its file, and its references are mended to it.
DownloadOutcome Duplicate(Project& project, int taskNumber, QueueEntry& entry,
                          const LocalTarget& target, Clock::time_point start) {
  RemovePartialFile(project, target);
  entry.state = Done;
  project.journal().RecordOutcome(entry.number, static_cast<std::int32_t>(EntryOutcome::Stored), 0,
                                  {}, {});
  ++project.totals().succeeded;
  UpdateQueueRow(project, taskNumber, 0, 0, Succeeded,
                 Project::LocalPathOf(entry, project.siteFolder()), SecondsSince(start));
  return DownloadOutcome::Stored;
}

// Records a stored file: its outcome, its validators and, for a page or
// style sheet, what it refers to.
void RecordStored(Project& project, QueueEntry& entry, const HttpClient& client,
                  std::optional<ScannedDocument> scanned) {
  entry.state = Done;
  entry.outcome = EntryOutcome::Stored;
  ++project.totals().succeeded;
  project.totals().bytes += client.GetReceivedBytes();
  project.NoteStored(client.GetReceivedBytes());
  project.journal().RecordOutcome(entry.number, static_cast<std::int32_t>(EntryOutcome::Stored),
                                  client.GetReceivedBytes(), client.GetHeaderValue("ETag"),
                                  client.GetHeaderValue("Last-Modified"));
  if (scanned) {
    project.RecordDocument(entry.number, scanned->kind, std::move(scanned->charset),
                           std::move(scanned->referenced));
  }
  if (project.IsUpdating()) {
    ++(project.ValidatorsOf(entry.number) != nullptr ? project.updateCounts().changed
                                                     : project.updateCounts().added);
  }
}

// A failed transfer leaves no file. An update that cannot reach a stored
// file keeps the copy it has, and the journal keeps saying it is stored.
DownloadOutcome Fail(Project& project, int taskNumber, QueueEntry& entry, const LocalTarget& target,
                     const HttpClient& client, Clock::time_point start, int retries) {
  RemovePartialFile(project, target);
  if (project.ValidatorsOf(entry.number) == nullptr) {
    project.journal().RecordOutcome(entry.number, static_cast<std::int32_t>(EntryOutcome::Failed),
                                    0, {}, {});
  }
  return ReportFailure(project, taskNumber, target.path, client.GetContentLength(),
                       StringUtility::FromUtf8(client.GetFailureReason()), start, retries);
}

// How the tries of one transfer went.
struct Tries {
  int retries = 0;
  bool stopped = false;  // a cancel or a pause came while waiting to try again
};

// Transfers the address, and again as RetryPolicy allows; the last try's
// answer is the client's.
Tries TransferWithRetries(Project& project, HttpClient& client, const std::u16string& address) {
  const RetryPolicy policy(project.options().tries, project.options().waitRetrySeconds);
  Tries tries;
  int counted = 1;
  int unprocessed = 0;
  while (true) {
    client.Navigate2(address, 0, 0);
    const RetryPolicy::Attempt attempt{client.GetFailure(), client.GetReturnCode(),
                                       client.GotResponse(), client.HostMultiplexes(),
                                       client.GetHeaderValue("Retry-After")};
    const RetryPolicy::Plan plan =
        policy.Judge(attempt, counted, unprocessed, std::chrono::system_clock::now());
    if (!plan.retry) return tries;
    // A host that asks for fewer requests gets them for the rest of the run.
    if (attempt.failure == HttpClient::Failure::None && attempt.status == 429) {
      client.ThrottleHost();
    }
    ++(plan.counts ? counted : unprocessed);
    ++tries.retries;
    if (plan.wait.count() > 0 && project.monitor().WaitForStopRequest(plan.wait)) {
      tries.stopped = true;
      return tries;
    }
    if (!client.PrepareRetry()) return tries;
  }
}

DownloadOutcome Fetch(Project& project, int taskNumber, QueueEntry& entry,
                      Clock::time_point start) {
  const std::u16string address(entry.address);
  // 3. Place the local copy and show the row.
  LocalTarget target = PlaceEntry(project, entry);
  project.list().InsertRow(taskNumber - 1, address);
  UpdateQueueRow(project, taskNumber, 0, 0, Transferring, u"", SecondsSince(start));
  // A path the file system cannot hold is not fetched at all, so an endless
  // chain of ever deeper folders ends there.
  if (NativePath(target.path).size() >= kMaxLocalPathBytes) {
    return ReportFailure(project, taskNumber, target.path, 0,
                         u"the local path is longer than the file system allows", start);
  }
  // 4. Fetch into the partial file.
  DownloadQueueStatus status(address, taskNumber, project, start);
  HttpClient client;
  client.SetTimeout(project.timeOutSeconds() * 1000);
  HttpClient::RequestOptions request =
      RequestOptionsFor(project.options(), project.pool().GetCorePoolSize());
  AddConditions(project, entry, request);
  client.SetRequestOptions(std::move(request));
  client.SetDownloadStatus(&status);
  client.HoldTextBodies(true);
  std::string fileError;
  if (!OpenPartialFile(project, client, target, &fileError)) {
    return ReportFileError(project, taskNumber, target, fileError, start);
  }
  const Tries tries = TransferWithRetries(project, client, address);
  if (client.WasMultiplexed()) project.NoteMultiplexed();
  if (tries.retries > 0) project.NoteRetried(tries.retries);
  // 5. Judge the answer; a failed or cut-short transfer leaves no file.
  const std::int64_t length = client.GetContentLength();
  IStatusMonitor& monitor = project.monitor();
  if (client.GetReturnCode() == HttpClient::kStopped || tries.stopped) {
    return Halt(project, taskNumber, target, start);
  }
  if (const auto updated = JudgeUpdate(project, entry, client, target, start)) return *updated;
  if (client.GetReturnCode() >= 400) {
    return Fail(project, taskNumber, entry, target, client, start, tries.retries);
  }
  if (PlaceByAnswer(project, entry, client, target) == Placement::SameAsAnother) {
    return Duplicate(project, taskNumber, entry, target, start);
  }
  UpdateQueueRow(project, taskNumber, length, length, Transferring, u"", SecondsSince(start));
  // 6. Pages and style sheets are rewritten; everything else stays as received.
  const std::u16string type =
      StringUtility::TrimWhiteSpace(AnsiCodePage::ToWide(client.GetHeaderValue("Content-Type")));
  const TextKind kind = KindOf(type);
  std::optional<ScannedDocument> scanned;
  TakeFilesNamedIn(project, entry, client);
  if (kind != TextKind::None) {
    scanned = RewriteTextResponse(project, client, entry, target, kind);
    // A stop cuts a scan short; the page is scanned whole on Continue.
    if (monitor.IsCancelRequested() != 0 || monitor.IsPauseRequested() != 0) {
      return Halt(project, taskNumber, target, start);
    }
  }
  // 7. The copy takes its place.
  if (!client.StoreBody()) {
    RemovePartialFile(project, target);
    return ReportFailure(
        project, taskNumber, target.path, length,
        u"cannot write the file: " + StringUtility::FromUtf8(client.GetFailureReason()), start);
  }
  if (const auto error = MoveIntoPlace(project, target)) {
    RemovePartialFile(project, target);
    return ReportFailure(project, taskNumber, target.path, length,
                         u"cannot store the file: " + StringUtility::FromUtf8(*error), start);
  }
  RecordStored(project, entry, client, std::move(scanned));
  UpdateQueueRow(project, taskNumber, length, length, Succeeded, target.path, SecondsSince(start),
                 {}, tries.retries);
  return DownloadOutcome::Stored;
}

// Whatever goes wrong inside one download ends that download, never the
// worker thread or the process.
DownloadOutcome DownloadGuarded(Project& project, QueueEntry& entry) {
  const Clock::time_point start = Clock::now();
  std::u16string reason;
  try {
    return DownloadAddress(project, entry.taskNumber(), entry);
  } catch (const std::exception& error) {
    reason = u"internal error: " + StringUtility::FromUtf8(error.what());
  } catch (...) {
    reason = u"internal error";
  }
  entry.outcome = EntryOutcome::Failed;
  return ReportFailure(project, entry.taskNumber(),
                       Project::LocalPathOf(entry, project.siteFolder()), 0, reason, start);
}

// The pause the user asked for between two requests of one worker; false
// when a stop came meanwhile.
bool WaitBetweenRequests(Project& project) {
  const auto wait = std::chrono::duration<double>(project.options().waitSeconds);
  const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(wait);
  while (Clock::now() < end) {
    if (!project.MayTakeMore()) return false;
    std::this_thread::sleep_for(
        std::min<Clock::duration>(end - Clock::now(), std::chrono::milliseconds(50)));
  }
  return true;
}

}  // namespace

void DownloadTaskRunnable::Run() {
  if (project_ == nullptr) return;
  AddressQueue& queue = project_->queue();
  // A paused or cancelled run, or one that reached a limit, takes no new
  // entry, whenever this worker got its turn on the pool.
  bool first = true;
  while (project_->MayTakeMore()) {
    if (!first && !WaitBetweenRequests(*project_)) return;
    first = false;
    QueueEntry* entry = project_->TakeNextPendingOrWait();
    if (entry == nullptr) return;
    if (DownloadGuarded(*project_, *entry) == DownloadOutcome::Interrupted) {
      queue.ReturnToPending(entry);
    } else {
      entry->state = Done;
    }
    project_->DownloadEnded();
  }
}

DownloadOutcome DownloadAddress(Project& project, int taskNumber, QueueEntry& entry) {
  // 1. The clock for every elapsed time of this download.
  const Clock::time_point start = Clock::now();
  // 2. A cancel before the start leaves no trace; a pause keeps the entry.
  if (project.monitor().IsCancelRequested() != 0) return DownloadOutcome::NotStarted;
  if (project.monitor().IsPauseRequested() != 0) return DownloadOutcome::Interrupted;
  entry.state = Taken;
  const DownloadOutcome outcome = Fetch(project, taskNumber, entry, start);
  if (outcome == DownloadOutcome::Failed) entry.outcome = EntryOutcome::Failed;
  return outcome;
}

}  // namespace kestrine
