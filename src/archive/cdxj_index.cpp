#include "archive/cdxj_index.h"

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "archive/surt.h"

namespace kestrine {

// The line is made by the worker that adds it, while the crawl goes on:
// made at the end, the index of a large archive held up the package.
void CdxjIndex::Add(const Entry& entry) {
  std::string line = Line(entry);
  std::lock_guard lock(mutex_);
  lines_.push_back(std::move(line));
}

std::size_t CdxjIndex::size() const {
  std::lock_guard lock(mutex_);
  return lines_.size();
}

std::string CdxjIndex::Timestamp(const std::string& warcDate) {
  std::string digits;
  for (char c : warcDate) {
    if (c >= '0' && c <= '9') digits += c;
    if (digits.size() == 14) break;
  }
  return digits;
}

std::string CdxjIndex::Line(const Entry& entry) {
  nlohmann::ordered_json fields;
  fields["url"] = entry.url;
  fields["mime"] = entry.mime;
  if (entry.status > 0) fields["status"] = std::to_string(entry.status);
  fields["digest"] = entry.digest;
  fields["length"] = std::to_string(entry.length);
  fields["offset"] = std::to_string(entry.offset);
  fields["filename"] = entry.filename;
  // Addresses with bytes that are not UTF-8 are written escaped, not
  // refused.
  return Surt::KeyOf(entry.url) + " " + Timestamp(entry.date) + " " +
         fields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::vector<std::string> CdxjIndex::Lines() const {
  std::vector<std::string> lines;
  {
    std::lock_guard lock(mutex_);
    lines = lines_;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

Status CdxjIndex::Write(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const std::string& line : Lines()) out << line << '\n';
  out.close();
  if (!out) return Error{ErrorKind::Io, "cannot write " + path};
  return Ok();
}

}  // namespace kestrine
