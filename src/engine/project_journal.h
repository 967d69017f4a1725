#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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

  struct Entry {
    std::int32_t number = -1;
    std::int32_t depth = 0;
    std::u16string address;
    std::u16string localFile;
    // 0: not ended, 1: stored, 2: failed (as EntryOutcome).
    std::int32_t outcome = 0;
    std::int64_t size = 0;
    std::string etag;
    std::string lastModified;
  };
  struct Document {
    std::int32_t number = -1;
    std::int32_t kind = 0;  // as Project::DocumentKind
    std::u16string charset;
    std::vector<std::int32_t> referenced;
  };
  struct Contents {
    bool found = false;
    std::int32_t mode = 0;
    std::u16string sitePrefix;
    std::u16string siteHost;
    std::vector<Entry> entries;  // by number
    std::vector<Document> documents;
    // True once a run ended finished or cancelled after the last start.
    bool ended = false;
  };

  ~ProjectJournal();

  // Starts the journal anew (a new project) or appends to it (a continued
  // one). False when it cannot be opened; the run then goes on unrecorded.
  bool Open(const std::u16string& path, bool fresh);
  void Close();

  void RecordProject(std::int32_t mode, const std::u16string& sitePrefix,
                     const std::u16string& siteHost);
  void RecordQueued(std::int32_t number, std::int32_t depth, std::u16string_view address,
                    std::u16string_view localFile);
  void RecordOutcome(std::int32_t number, std::int32_t outcome, std::int64_t size,
                     const std::string& etag, const std::string& lastModified);
  void RecordDocument(std::int32_t number, std::int32_t kind, const std::u16string& charset,
                      const std::vector<std::int32_t>& referenced);
  void RecordRunStarted();
  void RecordRunEnded();

  static Contents Read(const std::u16string& path);
  // Hands every whole, intact record to `visit`, one line at a time, so a
  // reader that needs little of a large journal keeps little in memory.
  static void ForEachRecord(const std::u16string& path,
                            const std::function<void(const std::vector<std::string>&)>& visit);
  // One record's line (without its line feed) and back; exposed for tests.
  static std::string Line(const std::vector<std::string>& fields);
  static std::optional<std::vector<std::string>> Fields(const std::string& line);

 private:
  void Write(const std::vector<std::string>& fields);

  static constexpr int kFlushEvery = 8;
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  int unflushed_ = 0;
};

}  // namespace kestrine
