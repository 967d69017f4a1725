#include "engine/journal/project_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "runtime/fs/confined_folder.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"

namespace kestrine {

// The outcome a dropped guess is journaled with, beside EntryOutcome's.
constexpr int kDropped = 3;

namespace {

std::uint32_t Checksum(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

void AppendEscaped(std::string& out, const std::string& field) {
  if (field.find_first_of("\\\t\n\r") == std::string::npos) {
    out += field;
    return;
  }
  for (char c : field) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
}

std::string Unescaped(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out += field[i];
      continue;
    }
    const char next = field[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

std::string Utf8(std::u16string_view text) { return StringUtility::ToUtf8(text); }
std::int64_t Number(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

// The mark of a project record whose local files are relative to the site
// folder; earlier journals recorded them below the site folder's name.
constexpr const char* kSiteRelative = "site";

// An entry is renamed once or twice in its life; a journal that says more
// is not believed beyond this.
constexpr std::size_t kMaxFormerNames = 4;

// Builds the contents of a journal one record at a time.
class ContentsReader {
 public:
  explicit ContentsReader(ProjectJournal::Contents& contents) : contents_(contents) {}

  void Apply(const std::vector<std::string>& f) {
    using Kind = ProjectJournal::RecordKind;
    const std::optional<Kind> known = ProjectJournal::KindOf(f);
    if (!known) return;
    const Kind kind = *known;
    if (kind == Kind::Project && (f.size() == 4 || f.size() == 5)) {
      // A mode no version ever wrote is no project of ours.
      if (f[1] != "0" && f[1] != "1" && f[1] != "2") return;
      contents_ = {};
      contents_.found = true;
      contents_.mode = static_cast<DownloadMode>(Number(f[1]));
      contents_.sitePrefix = StringUtility::FromUtf8(f[2]);
      contents_.siteHost = StringUtility::FromUtf8(f[3]);
      withSiteFolder_ = f.size() == 4 || f[4] != kSiteRelative;
    } else if (kind == Kind::Queued && f.size() == 5) {
      Queued(f);
    } else if (kind == Kind::Outcome && f.size() == 6) {
      Outcome(f);
    } else if (kind == Kind::Alias && f.size() == 3) {
      const std::int32_t number = NumberAt(f[1]);
      auto& entries = contents_.entries;
      if (number >= 0 && static_cast<std::size_t>(number) < entries.size() &&
          entries[number].aliases.size() < kMaxFormerNames) {
        entries[number].aliases.push_back(StringUtility::FromUtf8(f[2]));
      }
    } else if (kind == Kind::Document && f.size() >= 4) {
      Document(f);
    } else if (kind == Kind::WrittenToWeb && f.size() >= 2) {
      std::vector<std::int32_t> targets;
      for (std::size_t i = 2; i < f.size(); ++i) targets.push_back(NumberAt(f[i]));
      contents_.documents.SetWrittenToWeb(NumberAt(f[1]), std::move(targets));
    } else if (kind == Kind::RunStarted) {
      contents_.ended = false;
    } else if (kind == Kind::RunEnded) {
      contents_.ended = true;
    }
  }

 private:
  static std::int32_t NumberAt(const std::string& text) {
    const std::int64_t number = Number(text);
    return number < 0 || number > INT32_MAX ? -1 : static_cast<std::int32_t>(number);
  }

  void Queued(const std::vector<std::string>& f) {
    const std::int32_t number = NumberAt(f[1]);
    auto& entries = contents_.entries;
    // Numbers are recorded in order; only a few torn records may lie
    // between two of them.
    if (number < 0 ||
        static_cast<std::size_t>(number) > entries.size() + ProjectJournal::kMaxNumberGap) {
      return;
    }
    if (entries.size() <= static_cast<std::size_t>(number)) entries.resize(number + 1);
    ProjectJournal::Entry& entry = entries[static_cast<std::size_t>(number)];
    std::u16string localFile =
        ProjectJournal::SiteRelative(StringUtility::FromUtf8(f[4]), withSiteFolder_);
    // A second record of a number is a rename: the file it had stays its.
    if (entry.number == number && !entry.localFile.empty() && entry.localFile != localFile &&
        entry.formerLocalFiles.size() < kMaxFormerNames) {
      entry.formerLocalFiles.push_back(std::move(entry.localFile));
    }
    entry.number = number;
    entry.depth = std::max(0, NumberAt(f[2]));
    entry.address = StringUtility::FromUtf8(f[3]);
    entry.localFile = std::move(localFile);
  }

  void Outcome(const std::vector<std::string>& f) {
    const std::int32_t number = NumberAt(f[1]);
    if (number < 0 || static_cast<std::size_t>(number) >= contents_.entries.size()) return;
    ProjectJournal::Entry& entry = contents_.entries[static_cast<std::size_t>(number)];
    const std::int64_t outcome = Number(f[2]);
    entry.outcome = outcome == 1                          ? EntryOutcome::Stored
                    : outcome == 2 || outcome == kDropped ? EntryOutcome::Failed
                                                          : EntryOutcome::None;
    entry.droppedGuess = outcome == kDropped;
    entry.size = Number(f[3]);
    entry.etag = f[4];
    entry.lastModified = f[5];
  }

  void Document(const std::vector<std::string>& f) {
    std::vector<std::int32_t> referenced;
    referenced.reserve(f.size() - 4);
    for (std::size_t i = 4; i < f.size(); ++i) referenced.push_back(NumberAt(f[i]));
    const std::int64_t recorded = Number(f[2]);
    const auto kind = recorded == 1   ? DocumentRecords::Kind::StyleSheet
                      : recorded == 2 ? DocumentRecords::Kind::Svg
                                      : DocumentRecords::Kind::Page;
    contents_.documents.Add(NumberAt(f[1]), kind, StringUtility::FromUtf8(f[3]), referenced);
  }

  ProjectJournal::Contents& contents_;
  bool withSiteFolder_ = true;
};

}  // namespace

ProjectJournal::~ProjectJournal() { Close(); }

std::optional<ProjectJournal::RecordKind> ProjectJournal::KindOf(
    const std::vector<std::string>& fields) {
  if (fields.empty() || fields[0].size() != 1) return std::nullopt;
  switch (const auto kind = static_cast<RecordKind>(fields[0][0])) {
    case RecordKind::Project:
    case RecordKind::Queued:
    case RecordKind::Outcome:
    case RecordKind::Alias:
    case RecordKind::Document:
    case RecordKind::WrittenToWeb:
    case RecordKind::RunStarted:
    case RecordKind::RunEnded:
      return kind;
  }
  return std::nullopt;
}

bool ProjectJournal::Open(UniqueFd fd) {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = fd ? ::fdopen(fd.get(), "ab") : nullptr;
  if (file_ != nullptr) fd.Release();
  unflushed_ = 0;
  failed_ = false;
  return file_ != nullptr;
}

bool ProjectJournal::Open(const std::u16string& path, bool fresh) {
  return Open(UniqueFd(
      ::open(NativePath(path).c_str(),
             O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (fresh ? O_TRUNC : O_APPEND), 0666)));
}

void ProjectJournal::Close() {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr && std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
}

bool ProjectJournal::HasFailed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

std::string ProjectJournal::Line(const std::vector<std::string>& fields) {
  // Room for the checksum first, filled in once the body is known.
  std::string line(9, ' ');
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += '\t';
    AppendEscaped(line, fields[i]);
  }
  std::uint32_t sum = Checksum(std::string_view(line).substr(9));
  for (int digit = 7; digit >= 0; --digit, sum >>= 4) line[digit] = "0123456789abcdef"[sum & 0xF];
  return line;
}

std::optional<std::vector<std::string>> ProjectJournal::Fields(const std::string& line) {
  if (line.size() < 10 || line[8] != ' ') return std::nullopt;
  const std::string body = line.substr(9);
  const std::string hex = line.substr(0, 8);
  char* end = nullptr;
  const unsigned long sum = std::strtoul(hex.c_str(), &end, 16);
  if (end != hex.c_str() + hex.size() || sum != Checksum(body)) return std::nullopt;
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = body.find('\t', start);
    fields.push_back(Unescaped(body.substr(start, tab == std::string::npos ? tab : tab - start)));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

void ProjectJournal::Write(RecordKind kind, std::vector<std::string> fields) {
  fields.insert(fields.begin(), std::string(1, static_cast<char>(kind)));
  const std::string line = Line(fields) + "\n";
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) failed_ = true;
  // Handed to the system every few records: a crash loses at most those.
  // The starts and ends of runs and the mending at the end go at once.
  if (++unflushed_ >= kFlushEvery || kind == RecordKind::RunEnded ||
      kind == RecordKind::RunStarted || kind == RecordKind::WrittenToWeb) {
    if (std::fflush(file_) != 0) failed_ = true;
    unflushed_ = 0;
  }
}

void ProjectJournal::RecordProject(DownloadMode mode, const std::u16string& sitePrefix,
                                   const std::u16string& siteHost) {
  Write(RecordKind::Project,
        {std::to_string(static_cast<int>(mode)), Utf8(sitePrefix), Utf8(siteHost), kSiteRelative});
}

void ProjectJournal::RecordQueued(std::int32_t number, std::int32_t depth,
                                  std::u16string_view address, std::u16string_view localFile) {
  Write(RecordKind::Queued,
        {std::to_string(number), std::to_string(depth), Utf8(address), Utf8(localFile)});
}

void ProjectJournal::RecordAlias(std::int32_t number, std::u16string_view address) {
  Write(RecordKind::Alias, {std::to_string(number), Utf8(address)});
}

void ProjectJournal::RecordOutcome(std::int32_t number, EntryOutcome outcome, std::int64_t size,
                                   const std::string& etag, const std::string& lastModified) {
  Write(RecordKind::Outcome, {std::to_string(number), std::to_string(static_cast<int>(outcome)),
                              std::to_string(size), etag, lastModified});
}

void ProjectJournal::RecordDroppedGuess(std::int32_t number) {
  Write(RecordKind::Outcome, {std::to_string(number), std::to_string(kDropped), "0", "", ""});
}

void ProjectJournal::RecordDocument(std::int32_t number, DocumentRecords::Kind kind,
                                    const std::u16string& charset,
                                    const std::vector<std::int32_t>& referenced) {
  std::vector<std::string> fields = {std::to_string(number), std::to_string(static_cast<int>(kind)),
                                     Utf8(charset)};
  for (std::int32_t n : referenced) fields.push_back(std::to_string(n));
  Write(RecordKind::Document, std::move(fields));
}

void ProjectJournal::RecordRunStarted() { Write(RecordKind::RunStarted, {}); }

void ProjectJournal::RecordRunEnded() { Write(RecordKind::RunEnded, {}); }

void ProjectJournal::RecordWrittenToWeb(std::int32_t number,
                                        const std::vector<std::int32_t>& targets) {
  std::vector<std::string> fields = {std::to_string(number)};
  for (std::int32_t n : targets) fields.push_back(std::to_string(n));
  Write(RecordKind::WrittenToWeb, std::move(fields));
}

void ProjectJournal::ForEachRecord(
    int fd, const std::function<void(const std::vector<std::string>&)>& visit) {
  std::string line;
  bool overlong = false;
  std::vector<char> block(64 * 1024);
  while (true) {
    const ssize_t got = ::read(fd, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // a last line without its line feed was torn
    std::string_view rest(block.data(), static_cast<std::size_t>(got));
    while (!rest.empty()) {
      const std::size_t feed = rest.find('\n');
      const std::string_view piece = rest.substr(0, feed);
      // A line beyond the bound is passed over without being kept.
      if (!overlong && line.size() + piece.size() <= kMaxLineBytes) {
        line.append(piece);
      } else {
        overlong = true;
        std::string().swap(line);
      }
      if (feed == std::string_view::npos) break;
      rest.remove_prefix(feed + 1);
      if (!overlong) {
        if (const auto fields = Fields(line); fields && !fields->empty()) visit(*fields);
      }
      line.clear();
      overlong = false;
    }
  }
}

UniqueFd ProjectJournal::OpenForReading(const std::u16string& siteFolder) {
  const ConfinedFolder folder = ConfinedFolder::Open(siteFolder, ConfinedFolder::Create::No);
  return folder.OpenOwnFileForReading(StringUtility::ToUtf8(kFileName));
}

ProjectJournal::Contents ProjectJournal::Read(int fd) {
  Contents contents;
  if (fd < 0) return contents;
  ContentsReader reader(contents);
  ForEachRecord(fd, [&](const std::vector<std::string>& fields) { reader.Apply(fields); });
  return contents;
}

ProjectJournal::Contents ProjectJournal::Read(const std::u16string& path) {
  const UniqueFd fd(
      ::open(NativePath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return Read(fd.get());
}

ProjectJournal::Contents ProjectJournal::ReadCopy(const std::u16string& siteFolder) {
  return Read(OpenForReading(siteFolder).get());
}

std::u16string ProjectJournal::SiteRelative(std::u16string recorded, bool withSiteFolder) {
  if (!withSiteFolder) return recorded;
  const std::size_t slash = recorded.find(u'\\');
  // A name without the site folder's cannot be placed: the queue names it
  // anew.
  return slash == std::u16string::npos ? std::u16string() : recorded.substr(slash + 1);
}

}  // namespace kestrine
