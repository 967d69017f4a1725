#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/result.h"

namespace kestrine {

// Reads a .warc.gz record by record, one gzip member each, and works out
// for each what a reader checks: its digests over the block and over the
// payload (the HTTP body with chunking taken off), its HTTP status and
// type. Memory stays bounded whatever the records hold.
class WarcReader {
 public:
  struct Record {
    std::uint64_t offset = 0;  // of its gzip member in the file
    std::uint64_t length = 0;  // the member's compressed length
    std::vector<std::pair<std::string, std::string>> fields;
    std::uint64_t blockLength = 0;
    std::string blockDigest;    // computed: "sha1:" base32
    std::string payloadDigest;  // computed, for request, response and revisit records
    int httpStatus = 0;
    // The first bytes of the payload (64 KiB at most), for a look at it.
    std::string payloadHead;
    std::string httpContentType;
    std::string Field(const std::string& name) const;
  };
  using Visit = std::function<void(const Record&)>;

  // Every whole record in order. An error names what is not a whole,
  // readable record, and where; the records before it were visited.
  // With `heads` only, no digest or payload head is worked out: what an
  // index of the records needs, several times faster.
  enum class Reading { Whole, Heads };
  static Status ForEach(const std::string& path, const Visit& visit,
                        Reading reading = Reading::Whole);
};

}  // namespace kestrine
