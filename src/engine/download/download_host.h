#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/journal/document_records.h"
#include "site/rewrite/reference_writer.h"
#include "site/rewrite/scan_project.h"

namespace kestrine {

// How an address came to a download: a link or reference of a document,
// a name a script gave, or a string of a script that only looks like one.
enum class AddressSource { Reference, Script, Guess };

// The validators a stored copy had, when an update asks for it again.
struct Validators {
  std::string etag;
  std::string lastModified;
};

// What a download asks of the project it belongs to: to queue what it
// finds, within the run's rules and limits, and to keep what it learns.
class IDownloadHost {
 public:
  // Queues an address found at `depth` in a document whose chain of files
  // in a row is `namerChain` (0 for a page).
  virtual FoundAddress AddFound(const std::u16string& address, int depth, int namerChain,
                                AddressSource source) = 0;
  // Whether a found address may still be queued: no stop, no limit reached,
  // room left under the file limit.
  virtual bool MayQueueMore() = 0;
  // A download went over a multiplexed connection (HTTP/2): more go at once.
  virtual void NoteMultiplexed() = 0;
  // A stored document and the entries it refers to, for mending.
  virtual void RecordDocument(std::int32_t number, DocumentRecords::Kind kind,
                              const std::u16string& charset, const WrittenReferences& written) = 0;
  // The validators an update asks with; nullptr for an entry stored by no
  // earlier run (or when this run is no update).
  virtual const Validators* ValidatorsOf(std::int32_t number) const = 0;
  // A file was stored: it counts against the run's limits.
  virtual void NoteStored(std::int64_t bytes) = 0;
  // Transfers that may be in flight at once now, over which a rate limit
  // is shared.
  virtual int TransfersAtOnce() const = 0;

 protected:
  ~IDownloadHost() = default;
};

}  // namespace kestrine
