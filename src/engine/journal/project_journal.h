#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/journal/document_records.h"
#include "engine/queue/queue_entry.h"
#include "runtime/unique_fd.h"
#include "site/address/address.h"

namespace kestrine {

// The record of a project in its site folder, written as the run goes:
// the project, every queued address with its number and local file, every
// outcome with its validators, and the addresses each stored page or style
// sheet refers to. With the copy on disk it is the whole state of a project,
// so a copy can be continued after a restart, brought up to date, or
// checked.
//
// Append-only, one line per record, each line led by a checksum of the rest:
// a crash or a power loss can tear only the last record, and a torn or
// damaged record is passed over when the journal is read.
class ProjectJournal {
 public:
  // No site file can be named so: names whose extension is this long get
  // ".html" appended. The queue reserves it against site folders too.
  static constexpr const char16_t* kFileName = u"kestrine.journal";
  // A line longer than this is passed over unread, and an entry's number
  // may run at most this far ahead of the entries before it (a few records
  // torn away): what a journal says can never make its reader allocate
  // much more than the journal's own size.
  static constexpr std::size_t kMaxLineBytes = 16u * 1024 * 1024;
  static constexpr std::size_t kMaxNumberGap = 16;

  struct Entry {
    std::int32_t number = -1;
    std::int32_t depth = 0;
    std::u16string address;
    // As the journal has it, relative to the site folder. Not to be
    // trusted: the queue checks it against the naming rules.
    std::u16string localFile;
    EntryOutcome outcome = EntryOutcome::None;
    bool droppedGuess = false;
    std::int64_t size = 0;
    std::string etag;
    std::string lastModified;
    // Local files it had before its answer renamed it, and other addresses
    // that name what it holds.
    std::vector<std::u16string> formerLocalFiles;
    std::vector<std::u16string> aliases;
  };
  struct Contents {
    bool found = false;
    DownloadMode mode = DownloadMode::BrowsableCopy;
    std::u16string sitePrefix;
    std::u16string siteHost;
    std::vector<Entry> entries;  // by number
    DocumentRecords documents;
    // True once a run ended finished or cancelled after the last start.
    bool ended = false;
  };

  ~ProjectJournal();

  // Starts the journal anew (a new project) or appends to it (a continued
  // one), taking over an open file. False when there is none; the run then
  // goes on unrecorded.
  bool Open(UniqueFd fd);
  // The same for a path, never through a symbolic link.
  bool Open(const std::u16string& path, bool fresh);
  void Close();
  // Whether a record could not be written since the journal was opened (a
  // full disk, say): the copy can then not be continued whole.
  bool HasFailed() const;

  void RecordProject(DownloadMode mode, const std::u16string& sitePrefix,
                     const std::u16string& siteHost);
  // `localFile` relative to the site folder.
  void RecordQueued(std::int32_t number, std::int32_t depth, std::u16string_view address,
                    std::u16string_view localFile);
  // Another address for what the entry holds.
  void RecordAlias(std::int32_t number, std::u16string_view address);
  void RecordOutcome(std::int32_t number, EntryOutcome outcome, std::int64_t size,
                     const std::string& etag, const std::string& lastModified);
  // A guessed address the site did not have: failed, and still a guess
  // when an update asks for it again.
  void RecordDroppedGuess(std::int32_t number);
  void RecordDocument(std::int32_t number, DocumentRecords::Kind kind,
                      const std::u16string& charset, const std::vector<std::int32_t>& referenced);
  // The entries whose references in a document are now written as their
  // web address (all of them: the record replaces the one before).
  void RecordWrittenToWeb(std::int32_t number, const std::vector<std::int32_t>& targets);
  void RecordRunStarted();
  void RecordRunEnded();

  // What each record is, by the letter that leads it.
  enum class RecordKind : char {
    Project = 'P',
    Queued = 'Q',
    Outcome = 'O',
    Alias = 'A',
    Document = 'D',
    WrittenToWeb = 'W',
    RunStarted = 'S',
    RunEnded = 'E',
  };

  // The kind of a record read back; nothing for one no version wrote.
  static std::optional<RecordKind> KindOf(const std::vector<std::string>& fields);

  static Contents Read(int fd);
  static Contents Read(const std::u16string& path);
  // The journal of a site folder; not found when the folder has none, or
  // only a link where it should be.
  static Contents ReadCopy(const std::u16string& siteFolder);
  // Hands every whole, intact record to `visit`, one line at a time, so a
  // reader that needs little of a large journal keeps little in memory.
  // The descriptor stays open.
  static void ForEachRecord(int fd,
                            const std::function<void(const std::vector<std::string>&)>& visit);
  // Opens a site folder's journal for reading, never through a link; not
  // valid when there is none.
  static UniqueFd OpenForReading(const std::u16string& siteFolder);
  // One record's line (without its line feed) and back; exposed for tests.
  static std::string Line(const std::vector<std::string>& fields);
  static std::optional<std::vector<std::string>> Fields(const std::string& line);
  // A local file as recorded, relative to the site folder: journals of
  // earlier versions recorded it below the site folder's own name.
  static std::u16string SiteRelative(std::u16string recorded, bool withSiteFolder);

 private:
  void Write(RecordKind kind, std::vector<std::string> fields);

  static constexpr int kFlushEvery = 8;
  mutable std::mutex mutex_;
  std::FILE* file_ = nullptr;
  int unflushed_ = 0;
  bool failed_ = false;
};

}  // namespace kestrine
