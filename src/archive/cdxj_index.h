#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/result.h"

namespace kestrine {

// A CDXJ index of web archive records: one line per response or revisit,
// "urlkey timestamp {json}", sorted by their bytes, as pywb and
// ReplayWeb.page read it. Filled from many workers.
class CdxjIndex {
 public:
  struct Entry {
    std::string url;
    std::string date;    // the record's WARC-Date
    std::string mime;    // the Content-Type up to ";", or "warc/revisit"
    int status = 0;      // 0 when the record has none (an empty revisit)
    std::string digest;  // the payload digest without its "sha1:" label
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string filename;
  };

  void Add(const Entry& entry);
  std::size_t size() const;
  // Every line, sorted.
  std::vector<std::string> Lines() const;
  Status Write(const std::string& path) const;

  static std::string Line(const Entry& entry);
  // "20261208174427" of "2026-12-08T17:44:27.385021Z".
  static std::string Timestamp(const std::string& warcDate);

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace kestrine
