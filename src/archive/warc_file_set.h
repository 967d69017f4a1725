#pragma once

#include <string>
#include <vector>

namespace kestrine {

// The files one archive name stands for: NAME.warc.gz, then the numbered
// NAME-00001.warc.gz on that later runs and size limits begin.
class WarcFileSet {
 public:
  struct File {
    int number;  // -1 for NAME.warc.gz
    std::string path;
  };

  // Every file of `base` (a path without ".warc.gz") that exists, in the
  // order they were written.
  static std::vector<File> Of(const std::string& base);
  // The last part of a path, as a report names a file.
  static std::string NameOnly(const std::string& path);
};

}  // namespace kestrine
