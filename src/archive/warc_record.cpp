#include "archive/warc_record.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "encoding/gzip_member.h"

namespace kestrine {

std::string WarcRecord::HeaderText() const {
  std::string text = "WARC/1.1\r\nWARC-Type: " + type + "\r\nWARC-Record-ID: " + id +
                     "\r\nWARC-Date: " + date + "\r\n";
  for (const auto& [name, value] : fields) text.append(name).append(": ").append(value) += "\r\n";
  text += "Content-Length: " + std::to_string(BlockLength()) + "\r\n\r\n";
  return text;
}

SpillBuffer WarcRecord::Encode() const {
  SpillBuffer encoded;
  const int level = compress ? 1 : 0;
  // A record held in memory, as most are, is compressed whole, the faster
  // way; a large body spilled to its file goes piece by piece.
  const std::optional<std::string_view> held =
      body == nullptr ? std::optional<std::string_view>("") : body->InMemory();
  if (held) {
    const std::string header = HeaderText();
    std::string whole;
    whole.reserve(header.size() + head.size() + held->size() + 4);
    whole.append(header).append(head).append(*held).append("\r\n\r\n");
    encoded.Take(GzipMember::Whole(whole, level));
    return encoded;
  }
  // Most records are small pages and files: their member fits at once.
  encoded.Reserve(std::min<std::uint64_t>(BlockLength() + 1024, 256 * 1024));
  // Level 1: an archive of a site costs a fraction of its crawl, and the
  // bodies that matter most (images, fonts, compressed pages) gain
  // nothing from harder work.
  GzipMember member([&encoded](std::string_view bytes) { encoded.Append(bytes); }, level,
                    BlockLength() + 512);
  member.Add(HeaderText());
  member.Add(head);
  if (body != nullptr) body->ForEach([&member](std::string_view bytes) { member.Add(bytes); });
  member.Add("\r\n\r\n");
  member.Finish();
  return encoded;
}

std::string WarcRecord::NewId() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::uint64_t high = random();
  const std::uint64_t low = random();
  char text[64];
  // Version 4 (random), variant 1.
  std::snprintf(text, sizeof text, "<urn:uuid:%08x-%04x-4%03x-%04x-%012llx>",
                static_cast<unsigned>(high >> 32), static_cast<unsigned>((high >> 16) & 0xffff),
                static_cast<unsigned>(high & 0x0fff),
                static_cast<unsigned>(0x8000 | ((low >> 48) & 0x3fff)),
                static_cast<unsigned long long>(low & 0xffffffffffffULL));
  return text;
}

}  // namespace kestrine
