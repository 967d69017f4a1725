#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runtime/fs/spill_buffer.h"

namespace kestrine {

// One WARC/1.1 record (ISO 28500): its type and named fields, and a block
// of a head and a body. Encode makes it one gzip member, so a reader can
// start at its offset.
struct WarcRecord {
  std::string type;
  std::string id;    // "<urn:uuid:...>"
  std::string date;  // W3C form, UTC
  std::vector<std::pair<std::string, std::string>> fields;
  std::string head;
  const SpillBuffer* body = nullptr;
  // Whether deflating is worth it: not for a body that came compressed (an
  // image, a gzip-encoded page) nor for a request's few bytes, which are
  // stored in their member as they are.
  bool compress = true;

  std::uint64_t BlockLength() const { return head.size() + (body ? body->size() : 0); }
  // The record as a gzip member.
  SpillBuffer Encode() const;
  // The record as written before compression: "WARC/1.1", the fields, the
  // block and the two line ends that close it.
  std::string HeaderText() const;

  static std::string NewId();
};

}  // namespace kestrine
