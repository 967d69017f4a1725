#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "encoding/charset_sniffer.h"
#include "engine/journal/document_records.h"
#include "engine/queue/queue_entry.h"
#include "engine/run/failure_tally.h"
#include "runtime/net/content_kind.h"
#include "runtime/net/http_client.h"
#include "runtime/unique_fd.h"
#include "site/rewrite/reference_writer.h"

namespace kestrine {

// How one download ended.
enum class DownloadOutcome {
  NotStarted,   // a cancel came first: no row, no file
  Stored,       // the copy is in place
  Failed,       // a "Failure" row with its reason
  Interrupted,  // a pause stopped it: the entry goes back to pending
  Stopped,      // a cancel stopped it: still to be fetched by a continued copy
};

// Where an entry's copy goes.
struct LocalTarget {
  std::u16string folder;     // the folder of the copy, in full
  std::u16string path;       // where the copy ends up, in full
  std::u16string localFile;  // the same, relative to the site folder
  // The file the body is received in: a file without a name where the
  // file system allows, else one named in the site folder.
  UniqueFd partialFile;
  std::string partialName;
};

// What a scan of a stored document found, for the project's records once
// the document is in place.
struct ScannedDocument {
  DocumentRecords::Kind kind = DocumentRecords::Kind::Page;
  std::u16string charset;
  WrittenReferences written;
};

// One download as its stages see it, from its entry to its end.
struct DownloadState {
  using Clock = std::chrono::steady_clock;

  explicit DownloadState(QueueEntry& queued) : entry(queued), start(Clock::now()) {}

  QueueEntry& entry;
  const Clock::time_point start;
  LocalTarget target;
  HttpClient client;
  ContentKind kind = ContentKind::Other;
  int retries = 0;
  std::optional<ScannedDocument> scanned;
  // The document as rewritten, in its own charset, to store in place of
  // the body as received.
  std::optional<std::string> rewritten;
  // The document as a browser rendered it (UTF-8), read in place of the
  // body as received.
  std::optional<std::string> rendered;
  // The page as text, when a stage before the scan had to read it.
  std::optional<DecodedBody> decoded;
  bool wasRendered = false;
  DownloadOutcome outcome = DownloadOutcome::NotStarted;

  // The body read as a page's text: once, for every stage that reads it.
  DecodedBody& DecodedPage() {
    if (!decoded) {
      const std::string contentType = client.GetHeaderValue("Content-Type");
      decoded = client.IsBodyHeld()
                    ? CharsetSniffer::Decode(client.GetMemoryBody(), contentType, BodyKind::Page)
                    : CharsetSniffer::Decode(client.GetBody(), contentType, BodyKind::Page);
    }
    return *decoded;
  }

  int taskNumber() const { return entry.taskNumber(); }
  double Elapsed() const { return std::chrono::duration<double>(Clock::now() - start).count(); }
  // The kind of the client's failure, for the run's tally.
  FailureTally::Kind FailureKind() const { return {client.GetFailure(), client.GetReturnCode()}; }
};

}  // namespace kestrine
