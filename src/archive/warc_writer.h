#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "archive/warc_record.h"
#include "runtime/result.h"
#include "runtime/unique_fd.h"

namespace kestrine {

// The .warc.gz files of one run, written as records come from many
// workers. Without a size limit there is one file, NAME.warc.gz; with one,
// or when earlier runs' files are there, numbered files NAME-00000.warc.gz
// on, each begun when the one before has reached the limit (a record is
// never split), each opening with a warcinfo record. Records given
// together stand next to each other, as readers pair a request with its
// response.
class WarcWriter {
 public:
  struct Settings {
    std::string base;            // NAME, with its folder
    std::uint64_t maxBytes = 0;  // 0: no limit
    int firstNumber = -1;        // -1: NAME.warc.gz unless a limit numbers them
    // The warcinfo block's fields after software and format.
    std::vector<std::pair<std::string, std::string>> info;
  };
  struct Placed {
    std::string file;  // the file's name, without its folder
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
  };

  explicit WarcWriter(Settings settings) : settings_(std::move(settings)) {}

  // Encodes outside the lock, then appends under it.
  Result<std::vector<Placed>> Write(const std::vector<WarcRecord>& records);
  // The files written, with their folder, in order.
  std::vector<std::string> Files() const;
  std::uint64_t BytesWritten() const;

  static std::string FileName(const std::string& base, int number);

 private:
  Status OpenNextLocked();
  Status AppendLocked(const SpillBuffer& member, Placed& placed);

  Settings settings_;
  mutable std::mutex mutex_;
  UniqueFd file_;
  std::string name_;
  std::uint64_t size_ = 0;
  std::uint64_t total_ = 0;
  int number_ = -2;  // -2: none opened yet
  std::vector<std::string> files_;
};

}  // namespace kestrine
