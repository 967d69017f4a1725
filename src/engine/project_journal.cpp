#include "engine/project_journal.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

#include "runtime/local_files.h"
#include "runtime/string_utility.h"

namespace kestrine {

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
std::u16string Wide(const std::string& text) { return StringUtility::FromUtf8(text); }
std::int64_t Number(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

void Apply(const std::vector<std::string>& f, ProjectJournal::Contents& contents) {
  const std::string& type = f[0];
  if (type == "P" && f.size() == 4) {
    contents = {};
    contents.found = true;
    contents.mode = static_cast<std::int32_t>(Number(f[1]));
    contents.sitePrefix = Wide(f[2]);
    contents.siteHost = Wide(f[3]);
  } else if (type == "Q" && f.size() == 5) {
    const auto number = static_cast<std::size_t>(Number(f[1]));
    if (number > contents.entries.size() + 1000000) return;
    if (contents.entries.size() <= number) contents.entries.resize(number + 1);
    ProjectJournal::Entry& entry = contents.entries[number];
    entry.number = static_cast<std::int32_t>(number);
    entry.depth = static_cast<std::int32_t>(Number(f[2]));
    entry.address = Wide(f[3]);
    entry.localFile = Wide(f[4]);
  } else if (type == "O" && f.size() == 6) {
    const auto number = static_cast<std::size_t>(Number(f[1]));
    if (number >= contents.entries.size()) return;
    ProjectJournal::Entry& entry = contents.entries[number];
    entry.outcome = static_cast<std::int32_t>(Number(f[2]));
    entry.size = Number(f[3]);
    entry.etag = f[4];
    entry.lastModified = f[5];
  } else if (type == "D" && f.size() >= 4) {
    ProjectJournal::Document document;
    document.number = static_cast<std::int32_t>(Number(f[1]));
    document.kind = static_cast<std::int32_t>(Number(f[2]));
    document.charset = Wide(f[3]);
    for (std::size_t i = 4; i < f.size(); ++i) {
      document.referenced.push_back(static_cast<std::int32_t>(Number(f[i])));
    }
    contents.documents.push_back(std::move(document));
  } else if (type == "S") {
    contents.ended = false;
  } else if (type == "E") {
    contents.ended = true;
  }
}

}  // namespace

ProjectJournal::~ProjectJournal() { Close(); }

bool ProjectJournal::Open(const std::u16string& path, bool fresh) {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(NativePath(path).c_str(), fresh ? "wb" : "ab");
  return file_ != nullptr;
}

void ProjectJournal::Close() {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
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

void ProjectJournal::Write(const std::vector<std::string>& fields) {
  const std::string line = Line(fields) + "\n";
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), file_);
  // Handed to the system every few records: a crash loses at most those.
  if (++unflushed_ >= kFlushEvery || fields[0] == "E" || fields[0] == "S") {
    std::fflush(file_);
    unflushed_ = 0;
  }
}

void ProjectJournal::RecordProject(std::int32_t mode, const std::u16string& sitePrefix,
                                   const std::u16string& siteHost) {
  Write({"P", std::to_string(mode), Utf8(sitePrefix), Utf8(siteHost)});
}

void ProjectJournal::RecordQueued(std::int32_t number, std::int32_t depth,
                                  std::u16string_view address, std::u16string_view localFile) {
  Write({"Q", std::to_string(number), std::to_string(depth), Utf8(address), Utf8(localFile)});
}

void ProjectJournal::RecordOutcome(std::int32_t number, std::int32_t outcome, std::int64_t size,
                                   const std::string& etag, const std::string& lastModified) {
  Write({"O", std::to_string(number), std::to_string(outcome), std::to_string(size), etag,
         lastModified});
}

void ProjectJournal::RecordDocument(std::int32_t number, std::int32_t kind,
                                    const std::u16string& charset,
                                    const std::vector<std::int32_t>& referenced) {
  std::vector<std::string> fields = {"D", std::to_string(number), std::to_string(kind),
                                     Utf8(charset)};
  for (std::int32_t n : referenced) fields.push_back(std::to_string(n));
  Write(fields);
}

void ProjectJournal::RecordRunStarted() { Write({"S"}); }

void ProjectJournal::RecordRunEnded() { Write({"E"}); }

void ProjectJournal::ForEachRecord(
    const std::u16string& path, const std::function<void(const std::vector<std::string>&)>& visit) {
  std::ifstream in(NativePath(path), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    // A last line without its line feed was torn by a crash.
    if (in.eof()) break;
    if (const auto fields = Fields(line); fields && !fields->empty()) visit(*fields);
  }
}

ProjectJournal::Contents ProjectJournal::Read(const std::u16string& path) {
  Contents contents;
  ForEachRecord(path, [&](const std::vector<std::string>& fields) { Apply(fields, contents); });
  return contents;
}

}  // namespace kestrine
